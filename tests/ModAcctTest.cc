// modacct as callers see it: its statuses and messages, standard input,
// plans, traces, made-up passwords and audit lines, a single run that puts
// its own writes back when a later one is refused or its new alias is taken
// meanwhile, a card made again, the engine's class scope, and a membership
// spelled in other case.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

#include "account/DirectorySession.h"
#include "modacct/ChangeEngine.h"
#include "tests/support/AccountRuns.h"
#include "tests/support/DroppingProxy.h"

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
        {{"-uid", "NoBody"}, true, 233, "no such account: uid=nobody,o=site\n"},
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
    const std::vector<std::string> shim = syslogCaptured(capture);
    const auto run = [&](const std::vector<std::string>& args) {
        return runModacct(joined(adminArgs(slapd), args), "", shim).status;
    };
    EXPECT_EQ(
        0, run({"-uid", "jdoe", "-class", "staff", "-mail", "j@example.org", "-up", "Audit-Pw-1"}));
    EXPECT_EQ(0, run({"-uid", "jdoe"}));
    EXPECT_EQ(0, run({"-uid", "jdoe", "-lock", "-dryrun"}));
    EXPECT_EQ(240, run({"-uid", "jdoe", "-mail", "x"}));
    EXPECT_EQ(233, run({"-uid", "ghost"}));
    std::ifstream in(capture);
    const std::string lines((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(
        "10.6 modacct: by=admin uid=jdoe changed=class,mail,password status=0\n"
        "10.6 modacct: by=admin uid=jdoe changed=unchanged status=0\n"
        "10.4 modacct: by=admin uid=ghost status=233 error=\"no such account: "
        "uid=ghost,o=site\"\n",
        lines);
}

}  // namespace

// Another account takes the new alias while the run writes it: the run puts
// its change back and, as that account keeps the alias, ends 240; when the
// other account gives the alias up again, the run tries again and keeps it.
TEST_F(ModAcct, AnAliasTakenMeanwhileIsPutBackOrWonOnASecondTry) {
    const std::string holder =
        "dn: uid=holder,o=site\nchangetype: add\nobjectClass: inetOrgPerson\n"
        "objectClass: posixAccount\nobjectClass: TolvoeMailObject\nuid: holder\ncn: H\nsn: H\n"
        "uidNumber: 2900\ngidNumber: 100\nhomeDirectory: /home/holder\nalias: x1\n";
    // Requests: bind, account, groups, alias holders, the user entry's
    // modify (5), the look again (6), the put-back (7).
    for (const bool stays : {true, false}) {
        const auto meanwhile = [&](int request) {
            if (request == 5)
                slapd.modify(holder);
            if (request == 7 && !stays)
                slapd.modify("dn: uid=holder,o=site\nchangetype: delete\n");
        };
        DroppingProxy proxy(slapd.port(), 0, DroppingProxy::BeforeRequest, meanwhile);
        const ProcessResult r =
            runModacct({"-H", "127.0.0.1", "-P", proxy.portText(), "-bDN", "o=site", "-al", "admin",
                        "-ap", "secret", "-uid", "jdoe", "-addalias", "x1"});
        EXPECT_EQ(stays ? 240 : 0, r.status) << r.out;
        EXPECT_EQ(stays ? "Alias x1 already exists. Aborted\n" : "", r.out);
        EXPECT_EQ(stays ? 0u : 1u, jdoe()["alias"].count(": x1"));
        EXPECT_EQ(stays, slapd.exists("uid=holder,o=site"));
        if (stays)
            slapd.modify("dn: uid=holder,o=site\nchangetype: delete\n");
    }
}

// The card of a groupware account that lost it is made again from the
// account's values.
TEST_F(ModAcct, AMissingCardIsCreated) {
    const std::string card = "uid=jdoe:system,o=AddressBook,o=site";
    slapd.modify("dn: " + card + "\nchangetype: delete\n");
    const ProcessResult r = modacct({"-uid", "jdoe", "-givenname", "Jon"});
    EXPECT_EQ(0, r.status) << r.out;
    const EntryValues values = entryValues(slapd, card);
    EXPECT_EQ(std::set<std::string>{": Jon Doe"}, values.at("cn"));
    EXPECT_EQ(std::set<std::string>{": jdoe@example.org"}, values.at("mail"));
}

// What a program that runs the engine itself can ask: classes exactly these
// among the groups a scope covers, the others left alone.
TEST_F(ModAcct, TheEngineChangesClassesWithinAScope) {
    ASSERT_EQ(0, modacct({"-uid", "jdoe", "-addclass", "staff"}).status);
    AccountChange request;
    request.login = "jdoe";
    request.classes.exactly = std::vector<std::string>{"audio"};
    request.classes.scope = {"a*", "u*"};
    request.check();
    request.preparePassword();
    DirectorySession session(
        DirectoryParams{"127.0.0.1", slapd.port(), "o=site", "admin", "secret", LdapTls{}});
    session.bind();
    ChangeEngine engine(session);
    ChangeResult result;
    engine.run({request}, [&result](size_t, const ChangeResult& r) { result = r; });
    session.unbind();
    EXPECT_EQ(0, result.status) << result.message;
    EXPECT_EQ("class", result.changed);
    EXPECT_EQ((std::vector<std::string>{"cn=staff,o=site", "cn=audio,o=site"}),
              slapd.holders("(memberUid=jdoe)"));
}

// The September move of README: with -scope, -class sets the classes among
// the matching groups and leaves users and audio; a class named outside the
// scope is refused before anything is written; without -scope, -class warns
// of the groups it takes an account out of that no -class names.
TEST_F(ModAcct, ScopeSetsTheClassesAmongMatchingGroupsOnly) {
    slapd.modify(
        "dn: cn=7a,o=site\nchangetype: add\nobjectClass: posixGroup\ncn: 7a\ngidNumber: 3071\n\n"
        "dn: cn=8a,o=site\nchangetype: add\nobjectClass: posixGroup\ncn: 8a\ngidNumber: 3081\n");
    for (const char* pupil : {"pupil1", "pupil2"}) {
        ASSERT_EQ(0, runNewacct(
                         joined(adminArgs(slapd), {"-uid", pupil, "-sn", "P", "-up", "pw", "-o",
                                                   "O", "-c", "DE", "-groupware", "phpgw", "-class",
                                                   "users", "-class", "7a", "-class", "audio"}))
                         .status);
    }
    const std::string roster = testing::TempDir() + "/september-" + slapd.portText() + ".csv";
    std::ofstream(roster) << "uid;class\npupil1;8a\npupil2;8a\n";
    const std::string input =
        "bDN=o=site\nal=admin\nap=secret\nH=127.0.0.1\nP=" + slapd.portText() +
        "\nscope=[0-9]*\nbatch=" + roster + "\n";
    ProcessResult r = runModacct({}, input);
    std::remove(roster.c_str());
    EXPECT_EQ(0, r.status) << r.out;
    EXPECT_EQ("", r.err);
    EXPECT_EQ((std::vector<std::string>{"cn=users,o=site", "cn=audio,o=site", "cn=8a,o=site"}),
              slapd.holders("(memberUid=pupil1)"));

    const long writes = slapd.writesDone();
    r = modacct({"-uid", "pupil1", "-scope", "[0-9]*", "-addclass", "staff", "-delclass", "8a"});
    EXPECT_EQ(238, r.status);
    EXPECT_EQ("class staff matches no -scope ([0-9]*); nothing was written\n", r.out);
    r = modacct({"-uid", "pupil2", "-class", "7a", "-dryrun"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(
        "modacct: warning: -class takes pupil2 out of groups that no -class names: users, audio, "
        "8a (-scope PATTERN sets the classes among the groups PATTERN matches only)\n",
        r.err);
    EXPECT_EQ(writes, slapd.writesDone());
}

// A membership another tool wrote with the login in capitals (and blanks
// the directory ignores, " JDoe ") is still the account's, as the login
// names the entry whatever its case: leaving the class removes the value
// as it is spelled.
TEST_F(ModAcct, AMembershipSpelledInOtherCaseIsTheAccounts) {
    slapd.modify(
        "dn: cn=users,o=site\nchangetype: modify\ndelete: memberUid\nmemberUid: jdoe\n-\n"
        "add: memberUid\nmemberUid:: IEpEb2Ug\n");
    const ProcessResult r = modacct({"-uid", "jdoe", "-delclass", "users"});
    EXPECT_EQ(0, r.status) << r.out;
    EXPECT_EQ(std::vector<std::string>{}, slapd.holders("(memberUid:caseIgnoreIA5Match:=jdoe)"));
}

// The site defaults file gives modacct its directory, never a change:
// newacct's defaults for new accounts in it are passed over.
TEST_F(ModAcct, SiteDefaultsGiveTheDirectoryOnly) {
    const std::string defaults = testing::TempDir() + "/modacct-" + slapd.portText() + ".conf";
    std::ofstream(defaults) << "bDN=o=site\nal=admin\nap=secret\nH=127.0.0.1\nP=" +
                                   slapd.portText() +
                                   "\no=Other School\nclass=staff\ngenpw\nreqpwdchange\nlock\n";
    chmod(defaults.c_str(), 0600);
    const long writes = slapd.writesDone();
    const ProcessResult r = runModacct({"-config", defaults, "-uid", "jdoe"});
    std::remove(defaults.c_str());
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_EQ("", r.out);
    EXPECT_EQ(writes, slapd.writesDone());
}
