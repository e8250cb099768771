// modacct as callers see it: its statuses and messages, standard input,
// plans, traces, made-up passwords and audit lines, and a single run that
// puts its own writes back when a later one is refused.
#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/AccountRuns.h"

namespace {

// A group every change of which the directory refuses (testenv/slapd.sh).
const char* const kReadonlyGroup =
    "dn: cn=readonly-7z,o=site\nobjectClass: posixGroup\ncn: readonly-7z\ngidNumber: 3007\n";

class ModAcct : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(0, runNewacct(joined(adminArgs(slapd),
                                       {"-uid", "jdoe", "-sn", "Doe", "-givenname", "John", "-up",
                                        "old-pw", "-o", "Acme", "-c", "DE", "-mail",
                                        "jdoe@example.org", "-alias", "johnny", "-class", "users"}))
                         .status);
    }
    ProcessResult modacct(const std::vector<std::string>& args) {
        return runModacct(joined(adminArgs(slapd), args));
    }
    EntryValues jdoe() const { return entryValues(slapd, "uid=jdoe,o=site"); }

    Slapd slapd{kReadonlyGroup, "", Slapd::kMonitorDatabase};
};

TEST_F(ModAcct, StatusesAndMessagesAndNothingWrittenOnARefusal) {
    const std::vector<std::string> server{"-H", "127.0.0.1", "-P", slapd.portText()};
    const struct {
        std::vector<std::string> args;
        bool asAdmin;
        int status;
        std::string output;  // standard output, then standard error
    } cases[] = {
        {{"-uid", "x", "-V"}, false, 1, "modacct $Revision: 1.0 $\n\n"},
        {{"-uid", "x"}, false, 254, "you must define option -al\n"},
        {{"-al", "admin", "-ap", "secret"}, false, 253, "you must define option -bDN\n"},
        {{"-al", "admin", "-bDN", "o=site"}, false, 252, "you must define option -ap\n"},
        {{}, true, 251, "you must define option -uid\n"},
        {{"-uid", " jdoe"}, true, 251, "invalid uid: blanks at its ends or control characters\n"},
        {{"-uid", "jdoe", "-bogus", "1"}, true, 255, "wrong option: -bogus\n"},
        {{"-uid", "jdoe", "-gidnumber", "103"},
         true,
         255,
         "modacct does not change -gidnumber: the group decides the kind of account (pupil, "
         "staff, workstation); create the account again with newacct -gidnumber\n"},
        {{"-uid", "jdoe", "-uid", "john"},
         true,
         255,
         "modacct does not rename accounts: -uid john after -uid jdoe (give one -uid)\n"},
        {{"-uid", "jdoe", "-lock", "-unlock"}, true, 255, "-lock and -unlock exclude each other\n"},
        {{"-uid", "jdoe", "-mail", "nohost"}, true, 240, "incorrect email address: nohost\n"},
        {{"-uid", "jdoe", "-addalias", "a@b"}, true, 240, "incorrect alias a@b. Aborted\n"},
        {{"-uid", "jdoe", "-pager", "- -"}, true, 240, "invalid pager: - -\n"},
        {{"-uid", "jdoe", "-loginshell", "bash"},
         true,
         246,
         "you must define option -loginshell and the value must be an absolute path\n"},
        {{"-uid", "jdoe", "-jpegphoto", "/nonexistent"}, true, 214, "Error opening jpeg-File\n"},
        {{"-uid", "jdoe", "-ap", "wrong"}, true, 244, "bind failed\n"},
        {{"-uid", "NoBody"}, true, 234, "no such account: uid=nobody,o=site\n"},
        {{"-uid", "jdoe", "-class", "no-such-group-here"},
         true,
         238,
         "class no-such-group-here is not a group of this system\n"},
        // A system group without its directory group, refused before the
        // alias another account holds.
        {{"-uid", "jdoe", "-addclass", "mail", "-addalias", "ally"},
         true,
         238,
         "class mail has no group cn=mail,o=site in the directory\n"},
        {{"-uid", "jdoe", "-addalias", "ally", "-sn", "Other"},
         true,
         240,
         "Alias ally already exists. Aborted\n"},
        {{"-uid", "jdoe", "-mail", "bob@example.org"},
         true,
         240,
         "Address bob@example.org already exists. Aborted\n"},
    };
    const std::string before = slapd.dump();
    const long writes = slapd.writesDone();
    for (const auto& c : cases) {
        const ProcessResult r =
            runModacct(c.asAdmin ? joined(adminArgs(slapd), c.args) : joined(server, c.args));
        EXPECT_EQ(c.status, r.status) << c.output;
        EXPECT_EQ(c.output, r.out + r.err);
    }
    EXPECT_EQ(writes, slapd.writesDone());
    EXPECT_EQ(before, slapd.dump());
}

TEST_F(ModAcct, NothingToChangeReadsWritesNothingAndSaysNothing) {
    const long writes = slapd.writesDone();
    for (const std::vector<std::string>& same :
         {std::vector<std::string>{"-uid", "JDoe"},
          {"-uid", "jdoe", "-uid", "JDOE", "-class", "users", "-sn", "Doe", "-addalias", "johnny",
           "-mail", "jdoe@example.org", "-unlock", "-delclass", "staff", "-title", ""}}) {
        const ProcessResult r = modacct(same);
        EXPECT_EQ(0, r.status) << r.out;
        EXPECT_EQ("", r.out + r.err);
    }
    EXPECT_EQ(writes, slapd.writesDone());
}

TEST_F(ModAcct, StandardInputLikeNewacct) {
    const std::string input =
        "bDN=o=site\nal=admin\nap=secret\nH=127.0.0.1\nP=" + slapd.portText() +
        "\nuid=JDoe\nstreet=Main Street 1\n Building B\naddclass=staff\n"
        "title=\nreqpwdchange\n";
    ProcessResult r = runProcess(MODACCT_BIN, {"-"}, input, true);
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_EQ(std::set<std::string>{":: TWFpbiBTdHJlZXQgMQpCdWlsZGluZyBC"}, jdoe()["street"]);
    EXPECT_EQ(std::set<std::string>{": 0"}, jdoe()["shadowLastChange"]);
    EXPECT_EQ((std::vector<std::string>{"cn=users,o=site", "cn=staff,o=site"}),
              slapd.holders("(memberUid=jdoe)"));
    r = runProcess(MODACCT_BIN, {}, "uid=jdoe\nhelp\n", true);
    EXPECT_EQ(255, r.status);
    EXPECT_EQ("wrong option: help\n", r.err);
}

// A plan is what the run then writes, with the password shown as its scheme
// only; the trace names each step, never a password; the made-up password
// goes out once, on its own line.
TEST_F(ModAcct, PlanTraceAndMadeUpPassword) {
    const std::vector<std::string> change{"-uid",     "jdoe", "-class", "staff", "-up",
                                          "New-Pw-7", "-sn",  "Smith",  "-debug"};
    const std::string before = slapd.dump();
    const ProcessResult plan = modacct(joined(change, {"-dryrun"}));
    ASSERT_EQ(0, plan.status) << plan.out;
    EXPECT_EQ(before, slapd.dump());
    EXPECT_NE(std::string::npos, plan.out.find("replace: userPassword\nuserPassword: {crypt}*\n"))
        << plan.out;
    Slapd copy{kReadonlyGroup};
    ASSERT_EQ(0, runNewacct(joined(adminArgs(copy),
                                   {"-uid", "jdoe", "-sn", "Doe", "-givenname", "John", "-up",
                                    "old-pw", "-o", "Acme", "-c", "DE", "-mail", "jdoe@example.org",
                                    "-alias", "johnny", "-class", "users"}))
                     .status);
    copy.modify(plan.out);
    const ProcessResult run = modacct(change);
    ASSERT_EQ(0, run.status) << run.out;
    EXPECT_EQ("", run.out);
    for (const ProcessResult* traced : {&plan, &run}) {
        EXPECT_NE(std::string::npos, traced->err.find("modacct: jdoe: class,sn,password\n"))
            << traced->err;
        EXPECT_EQ(std::string::npos, traced->err.find("New-Pw-7"));
        EXPECT_EQ(std::string::npos, traced->err.find("$6$"));
    }
    const std::set<std::string> hashes{"userPassword", "shadowLastChange"};
    EXPECT_EQ(shown(entryValues(slapd, "uid=jdoe,o=site", hashes)),
              shown(entryValues(copy, "uid=jdoe,o=site", hashes)));
    EXPECT_TRUE(slapd.binds("uid=jdoe,o=site", "New-Pw-7"));

    const ProcessResult planned = modacct({"-uid", "jdoe", "-genpw", "-dryrun"});
    EXPECT_EQ(0, planned.status);
    EXPECT_NE(std::string::npos, planned.out.find("userPassword: {crypt}*\n"));
    EXPECT_EQ("-\n\n", planned.out.substr(planned.out.size() - 3));  // no password
    const ProcessResult made = modacct({"-uid", "jdoe", "-genpw"});
    ASSERT_EQ(0, made.status);
    ASSERT_EQ(13u, made.out.size()) << made.out;
    EXPECT_TRUE(slapd.binds("uid=jdoe,o=site", made.out.substr(0, 12)));
}

// The user entry is written first; the refused group makes the run put it back.
TEST_F(ModAcct, ARefusedWritePutsTheRunsEarlierWritesBack) {
    ASSERT_EQ(0, runNewacct(joined(adminArgs(slapd),
                                   {"-uid", "pw1", "-sn", "P", "-up", "pw", "-o", "O", "-c", "DE",
                                    "-groupware", "phpgw", "-class", "users"}))
                     .status);
    const EntryValues before = entryValues(slapd, "uid=pw1,o=site");
    const ProcessResult r =
        modacct({"-uid", "pw1", "-sn", "Q", "-class", "readonly-7z", "-class", "staff"});
    EXPECT_EQ(242, r.status);
    EXPECT_EQ(0u, r.out.find("failed to add pw1 to class readonly-7z: Insufficient access"))
        << r.out;
    EXPECT_NE(std::string::npos, r.out.find("; its changes were put back\n")) << r.out;
    EXPECT_EQ(shown(before), shown(entryValues(slapd, "uid=pw1,o=site")));
    EXPECT_EQ(std::vector<std::string>{"cn=users,o=site"}, slapd.holders("(memberUid=pw1)"));
}

// One line per run that went to the directory to write, none for a plan or
// a parameter error, no password in any.
TEST_F(ModAcct, AuditLines) {
    const std::string capture = testing::TempDir() + "/modacct-syslog";
    std::remove(capture.c_str());
    const std::vector<std::string> shim{"LD_PRELOAD=" SYSLOG_SHIM, "SYSLOG_CAPTURE=" + capture,
                                        "ASAN_OPTIONS=verify_asan_link_order=0"};
    const auto run = [&](const std::vector<std::string>& args) {
        return runModacct(joined(adminArgs(slapd), args), "", shim).status;
    };
    EXPECT_EQ(
        0, run({"-uid", "jdoe", "-class", "staff", "-mail", "j@example.org", "-up", "Audit-Pw-1"}));
    EXPECT_EQ(0, run({"-uid", "jdoe"}));
    EXPECT_EQ(0, run({"-uid", "jdoe", "-lock", "-dryrun"}));
    EXPECT_EQ(240, run({"-uid", "jdoe", "-mail", "x"}));
    EXPECT_EQ(234, run({"-uid", "ghost"}));
    std::ifstream in(capture);
    const std::string lines((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(
        "10.6 modacct: by=admin uid=jdoe changed=class,mail,password status=0\n"
        "10.6 modacct: by=admin uid=jdoe changed=unchanged status=0\n"
        "10.4 modacct: by=admin uid=ghost status=234 error=\"no such account: "
        "uid=ghost,o=site\"\n",
        lines);
}

}  // namespace
