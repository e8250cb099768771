// modacct -batch against private slapds: each row ends as its single run
// would, in file order, and the directory as after those runs; a row that
// fails after writing is put back; a class move costs one write per user
// entry and per group, and a roster that changes nothing writes nothing; a
// batch cut off finishes when run again.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "tests/support/AccountRuns.h"
#include "tests/support/DroppingProxy.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;  // the header first

std::string roster(const std::string& name, const Rows& rows) {
    const std::string path = testing::TempDir() + "/" + name;
    std::ofstream out(path, std::ios::trunc);
    for (const auto& row : rows) {
        for (size_t i = 0; i < row.size(); ++i)
            out << (i ? ";" : "") << row[i];
        out << "\n";
    }
    return path;
}

// Pupils p01 to p<count> in class users, made by newacct -batch.
void pupils(const Slapd& slapd, int count, const std::string& groupware = "all") {
    Rows rows{{"uid", "sn", "mail", "alias", "class"}};
    for (int i = 1; i <= count; ++i) {
        const std::string uid = (i < 10 ? "p0" : "p") + std::to_string(i);
        rows.push_back({uid, "Pupil", uid + "@example.org", "a" + uid, "users"});
    }
    const std::string file = roster("pupils-" + slapd.portText() + ".csv", rows);
    const ProcessResult made =
        runNewacct(joined(adminArgs(slapd), {"-up", "pw", "-o", "O", "-c", "DE", "-groupware",
                                             groupware, "-batch", file}));
    std::remove(file.c_str());
    ASSERT_EQ(0, made.status) << made.out;
}

std::string withoutPasswords(std::string dump) {
    for (const char* name : {"userPassword:: ", "shadowLastChange: "}) {
        for (size_t at; (at = dump.find(name)) != std::string::npos;)
            dump.erase(at, dump.find('\n', at) - at + 1);
    }
    return dump;
}

TEST(ModAcctBatch, EachRowAsItsSingleRunInFileOrder) {
    const Rows rows{
        {"uid", "class", "class", "sn", "addalias", "delalias", "mail", "lock"},
        {"p01", "staff", "", "", "", "", "", ""},
        {"p02", "audio", "staff", "Neu", "", "", "", ""},
        {"p03", "", "", "", "x1", "", "", ""},
        {"p04", "", "", "", "x1", "", "", ""},  // p03 claimed it
        {"p05", "", "", "", "", "ap05", "", ""},
        {"p06", "", "", "", "ap05", "", "", ""},  // p05 gave it up
        {"p07", "", "", "", "", "", "ally@example.org", ""},
        {"p08", "", "", "M\xc3\xbcller", "", "", "", "yes"},
        {"ghost", "staff", "", "", "", "", "", ""},
        {"p09", "no-such-group-here", "", "", "", "", "", ""},
        {"p10", "mail", "", "", "", "", "", ""},
        {"p11", "", "", "", "", "", "", "no"},
        {"P12", "staff", "", "", "", "", "p12.new@example.org", ""},
    };
    Slapd batch, singles;
    pupils(batch, 12);
    pupils(singles, 12);
    const ProcessResult run =
        runModacct(joined(adminArgs(batch), {"-batch", roster("rows.csv", rows)}));
    EXPECT_EQ(237, run.status) << run.err;
    const auto lines = resultLines(run.out);
    ASSERT_EQ(rows.size() - 1, lines.size()) << run.out;
    for (size_t r = 1; r < rows.size(); ++r) {
        // The single run of a row is its standard-input form.
        std::string input =
            "bDN=o=site\nal=admin\nap=secret\nH=127.0.0.1\nP=" + singles.portText() + "\n";
        for (size_t c = 0; c < rows[r].size(); ++c)
            input += rows[0][c] + "=" + rows[r][c] + "\n";
        const ProcessResult single = runModacct({}, input);
        const std::string& line = lines.at(rows[r][0]);
        if (single.status == 0) {
            EXPECT_EQ("0\t", line.substr(0, 2)) << rows[r][0] << ": " << line;
        } else {
            EXPECT_EQ(
                std::to_string(single.status) + "\t" + single.out.substr(0, single.out.size() - 1),
                line);
        }
    }
    EXPECT_EQ("0\tclass", lines.at("p01"));
    EXPECT_EQ("0\tclass,sn", lines.at("p02"));
    EXPECT_EQ("240\tAlias x1 already exists. Aborted", lines.at("p04"));
    EXPECT_EQ("0\talias", lines.at("p06"));
    EXPECT_EQ("0\tsn,lock", lines.at("p08"));
    EXPECT_EQ("0\tunchanged", lines.at("p11"));
    EXPECT_EQ(withoutPasswords(singles.dump()), withoutPasswords(batch.dump()));
}

// r1 and r2 join a group that refuses every change; r2's join of staff went
// through with r3's in one modify, and is put back.
TEST(ModAcctBatch, ARowThatFailsAfterWritingIsPutBack) {
    Slapd slapd{
        "dn: cn=readonly-7z,o=site\nobjectClass: posixGroup\ncn: readonly-7z\n"
        "gidNumber: 3007\n"};
    pupils(slapd, 3, "phpgw");  // no plendar: the class needs no system group
    const EntryValues before = entryValues(slapd, "uid=p01,o=site");
    const ProcessResult run = runModacct(joined(
        adminArgs(slapd), {"-batch", roster("refused.csv", {{"uid", "sn", "class", "class"},
                                                            {"p01", "Neu", "readonly-7z", ""},
                                                            {"p02", "", "staff", "readonly-7z"},
                                                            {"p03", "", "staff", ""}})}));
    EXPECT_EQ(237, run.status);
    const auto lines = resultLines(run.out);
    for (const char* uid : {"p01", "p02"}) {
        EXPECT_EQ(0u, lines.at(uid).find(std::string("242\tfailed to add ") + uid +
                                         " to class readonly-7z: Insufficient access"))
            << lines.at(uid);
        EXPECT_NE(std::string::npos, lines.at(uid).find("; its changes were put back"));
    }
    EXPECT_EQ("0\tclass", lines.at("p03"));
    EXPECT_EQ(shown(before), shown(entryValues(slapd, "uid=p01,o=site")));
    EXPECT_EQ(std::vector<std::string>{"cn=users,o=site"}, slapd.holders("(memberUid=p02)"));
    EXPECT_EQ(std::vector<std::string>{"cn=staff,o=site"}, slapd.holders("(memberUid=p03)"));
}

// Six pupils from users to staff and audio: six user entries (plendarGroupID)
// and one modify for each of the three groups; then nothing at all.
TEST(ModAcctBatch, AClassMoveWritesOncePerEntryAndGroupAndARosterOfNoChangesNothing) {
    Slapd slapd{"", "", Slapd::kMonitorDatabase};
    pupils(slapd, 6);
    Rows rows{{"uid", "class"}};
    for (int i = 1; i <= 6; ++i)
        rows.push_back({"p0" + std::to_string(i), i % 2 ? "staff" : "audio"});
    const std::string file = roster("move.csv", rows);
    long writes = slapd.writesDone();
    ProcessResult run = runModacct(joined(adminArgs(slapd), {"-batch", file}));
    EXPECT_EQ(0, run.status) << run.out;
    EXPECT_EQ(6 + 3, slapd.writesDone() - writes);
    EXPECT_EQ((std::vector<std::string>{"cn=staff,o=site"}), slapd.holders("(memberUid=p05)"));

    writes = slapd.writesDone();
    run = runModacct(joined(adminArgs(slapd), {"-batch", file}));
    EXPECT_EQ(0, run.status);
    EXPECT_EQ(writes, slapd.writesDone());
    for (const auto& [uid, line] : resultLines(run.out))
        EXPECT_EQ("0\tunchanged", line) << uid;
}

// Cut before the second group's modify: the rows not done end 244, their
// changes cannot be put back over the cut connection and are named; the
// same roster run again finishes the move.
TEST(ModAcctBatch, ACutBatchRunAgainFinishesTheMove) {
    Slapd whole, cut;
    pupils(whole, 4);
    pupils(cut, 4);
    const std::string file =
        roster("cut.csv", {{"uid", "class"}, {"p01", "staff"}, {"p02", "audio"}, {"p03", "staff"}});
    ASSERT_EQ(0, runModacct(joined(adminArgs(whole), {"-batch", file})).status);
    {
        DroppingProxy proxy(cut.port(), "cn=staff,o=site");
        const ProcessResult first =
            runModacct(joined({"-H", "127.0.0.1", "-P", proxy.portText(), "-bDN", "o=site", "-al",
                               "admin", "-ap", "secret"},
                              {"-batch", file}));
        EXPECT_EQ(237, first.status);
        for (const auto& [uid, line] : resultLines(first.out)) {
            EXPECT_EQ(0u, line.find("244\tnot done: the connection to the directory was lost; "
                                    "putting back failed"))
                << uid << ": " << line;
        }
    }
    const ProcessResult again = runModacct(joined(adminArgs(cut), {"-batch", file}));
    EXPECT_EQ(0, again.status) << again.out;
    EXPECT_EQ(withoutPasswords(whole.dump()), withoutPasswords(cut.dump()));
}

// Cut at the staff group's modify: the new passwords are written and cannot
// be put back over the lost connection. Each row's line carries its password
// after the message, a single run prints it on a line of its own (235 when
// it cannot), and each password opens its account.
TEST(ModAcctBatch, AMadeUpPasswordThatAFailureLeavesStoredIsPrinted) {
    Slapd slapd;
    pupils(slapd, 3);
    const std::string file =
        roster("genpw-cut.csv", {{"uid", "class"}, {"p01", "staff"}, {"p02", "staff"}});
    const auto opensAccount = [&slapd](const std::string& uid, const std::string& out) {
        const std::string password = out.substr(out.find_last_of("\t\n", out.size() - 2) + 1);
        EXPECT_EQ(13u, password.size()) << out;
        EXPECT_TRUE(slapd.binds("uid=" + uid + ",o=site", password.substr(0, 12))) << out;
    };
    const std::string lost =
        "244\tnot done: the connection to the directory was lost; "
        "putting back failed (Can't contact LDAP server), left as changed: ";
    for (const bool single : {false, true}) {
        DroppingProxy proxy(slapd.port(), "cn=staff,o=site");
        const ProcessResult r =
            runModacct(joined({"-H", "127.0.0.1", "-P", proxy.portText(), "-bDN", "o=site", "-al",
                               "admin", "-ap", "secret", "-genpw"},
                              single ? std::vector<std::string>{"-uid", "p03", "-class", "staff"}
                                     : std::vector<std::string>{"-batch", file}));
        EXPECT_EQ(single ? 244 : 237, r.status);
        if (single) {
            EXPECT_EQ(0u, r.out.find(lost.substr(4))) << r.out;
            opensAccount("p03", r.out);
            continue;
        }
        for (const auto& [uid, line] : resultLines(r.out)) {
            EXPECT_EQ(0u, line.find(lost)) << line;
            opensAccount(uid, line + "\n");
        }
    }
    DroppingProxy proxy(slapd.port(), "cn=staff,o=site");
    const ProcessResult r =
        runProcess("/bin/sh", {"-c", "exec \"$@\" >/dev/full", "sh", MODACCT_BIN, "-H", "127.0.0.1",
                               "-P", proxy.portText(), "-bDN", "o=site", "-al", "admin", "-ap",
                               "secret", "-genpw", "-uid", "p03", "-class", "staff"});
    EXPECT_EQ(235, r.status);
    EXPECT_EQ(
        "output could not be written (No space left on device): the password made up for "
        "p03 was not delivered (the password was changed: give it a new one)\n",
        r.err);
}

}  // namespace

// Made-up passwords, result lines and plans that cannot be written end the
// run with 235, and standard error says what was lost; the changes were made.
TEST(ModAcctBatch, LostOutputEndsWith235NamingWhatWasLost) {
    Slapd slapd;
    pupils(slapd, 3);
    const std::string file =
        roster("lost-" + slapd.portText() + ".csv", {{"uid"}, {"P01"}, {"p02"}});
    const std::string lost = "output could not be written (No space left on device): ";
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"-genpw", "-batch", file},
         "the passwords made up for P01, p02 were not delivered (their passwords were changed: "
         "give them new ones)"},
        {{"-title", "T", "-batch", file},
         "2 of 2 result lines were not delivered; run the roster again to see every account's "
         "result"},
        {{"-uid", "p03", "-genpw"},
         "the password made up for p03 was not delivered (the password was changed: give it a "
         "new one)"},
        {{"-uid", "p03", "-sn", "X", "-dryrun"}, "the plan was not delivered"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> shell{"-c", "exec \"$@\" >/dev/full", "sh", MODACCT_BIN};
        shell = joined(joined(shell, adminArgs(slapd)), c.args);
        const ProcessResult r = runProcess("/bin/sh", shell);
        EXPECT_EQ(235, r.status) << c.message;
        EXPECT_EQ(lost + c.message + "\n", r.err);
    }
    EXPECT_EQ(std::set<std::string>{": T"}, entryValues(slapd, "uid=p02,o=site")["title"]);
    std::remove(file.c_str());
}
