// syncacct against a private slapd and a Cyrus that checks passwords against
// it: a school of classes 10a to 11b (the scope), a pupil in a class and in
// staff, a teacher outside the scope. One sync creates, moves, changes and
// locks as its dry run said, and leaves staff and the teacher alone; with
// -grace 0 the leavers go from all three servers; run again it writes
// nothing; a partial roster is refused; a leaver who comes back is unlocked
// with the mail kept.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "syncacct/SyncAction.h"
#include "tests/support/AccountRuns.h"
#include "tests/support/Cyrus.h"
#include "tests/support/DirectoryState.h"
#include "tests/support/DroppingProxy.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;  // the header first

const char* const kClasses = R"(dn: cn=10a,o=site
objectClass: posixGroup
cn: 10a
gidNumber: 3010

dn: cn=10b,o=site
objectClass: posixGroup
cn: 10b
gidNumber: 3011

dn: cn=11a,o=site
objectClass: posixGroup
cn: 11a
gidNumber: 3012

dn: cn=11b,o=site
objectClass: posixGroup
cn: 11b
gidNumber: 3013

dn: cn=choir,o=site
objectClass: posixGroup
cn: choir
gidNumber: 3020
)";

// The pupils the school starts with beside those named below: unchanged by
// every sync, so that two leavers stay within the guard's 10 %.
const int kStayers = 14;

std::string stayer(int n) {
    return (n < 10 ? "p0" : "p") + std::to_string(n);
}

// The office's export as a roster: uid;sn;class;class.
Rows exportOf(const Rows& named) {
    Rows rows{{"uid", "sn", "class", "class"}};
    rows.insert(rows.end(), named.begin(), named.end());
    for (int n = 1; n <= kStayers; ++n)
        rows.push_back({stayer(n), "Pupil", n % 2 ? "10a" : "11a", ""});
    return rows;
}

// This year's export: anna as she was, ben from 10b to 11b, cara from 10b
// to 11a (her staff membership is no class), fritz renamed (the choir is
// outside the scope and not joined), gina new (nor does she join the
// choir); dan and eva left.
const Rows kThisYear = exportOf({{"anna", "Adler", "10a", ""},
                                 {"ben", "Berg", "11b", ""},
                                 {"cara", "Cramer", "11a", ""},
                                 {"fritz", "Fischer", "11a", "choir"},
                                 {"gina", "Gold", "10a", "choir"}});

class SyncAcct : public testing::Test {
  protected:
    void SetUp() override {
        // A capture of an earlier run on the same port must not count.
        std::remove(audit.c_str());
        Rows school{{"uid", "sn", "up", "class", "class"},
                    {"anna", "Adler", "Pw-anna-1", "10a", ""},
                    {"ben", "Berg", "Pw-ben-1", "10b", ""},
                    {"cara", "Cramer", "Pw-cara-1", "10b", "staff"},
                    {"dan", "Dorn", "Pw-dan-1", "10a", ""},
                    {"eva", "Ernst", "Pw-eva-1", "10a", ""},
                    {"fritz", "Fink", "Pw-fritz-1", "11a", ""},
                    {"otto", "Ohm", "Pw-otto-1", "staff", ""}};
        for (int n = 1; n <= kStayers; ++n)
            school.push_back({stayer(n), "Pupil", "Pw-" + stayer(n), n % 2 ? "10a" : "11a", ""});
        const ProcessResult made =
            runNewacct(joined(adminArgs(slapd), {"-o", "School", "-c", "DE", "-groupware", "phpgw",
                                                 "-batch", roster("school", school)}));
        ASSERT_EQ(0, made.status) << made.out << made.err;
        // The leavers' mail: mailboxes, a right on a shared one, scripts.
        cyrus.imap({"C create user.dan", "C create user.dan.sub", "C create user.eva",
                    "C create shared", "A setacl shared dan lrs", "A setacl shared eva lr"});
        cyrus.putScripts("dan", {"a", "b"}, "b");
        cyrus.putScripts("eva", {"a"}, "a");
    }

    std::string roster(const std::string& name, const Rows& rows) const {
        const std::string path = testing::TempDir() + "/sync-" + name + "-" + slapd.portText();
        std::ofstream out(path, std::ios::trunc);
        for (const auto& row : rows) {
            for (size_t i = 0; i < row.size(); ++i)
                out << (i ? ";" : "") << row[i];
            out << "\n";
        }
        out.close();
        chmod(path.c_str(), 0600);  // it may hold passwords
        return path;
    }

    // syncacct of `rows` over the directory at `port`, within the scope 10*
    // and 11*, new accounts as the school makes them.
    std::vector<std::string> syncArgs(const Rows& rows, const std::string& port) const {
        const std::string imap = std::to_string(cyrus.imapPort());
        const std::string sieve = std::to_string(cyrus.sievePort());
        const std::string file = roster("roster", rows);
        return joined(adminArgs(port), {"-CH", "127.0.0.1", "-CP", imap, "-SP", sieve, "-o",
                                        "School", "-c", "DE", "-groupware", "phpgw", "-genpw",
                                        "-scope", "10*", "-scope", "11*", "-batch", file});
    }

    ProcessResult sync(const Rows& rows, const std::vector<std::string>& extra = {},
                       const std::vector<std::string>& environment = {}) const {
        return runSyncacct(joined(syncArgs(rows, slapd.portText()), extra), environment);
    }

    // The sync run dry first: the dry run writes nothing, prints its plan,
    // and its result lines name the accounts and actions the real run then
    // reports.
    ProcessResult syncAsPlanned(const Rows& rows, const std::vector<std::string>& extra,
                                const std::vector<std::string>& planned) const {
        const long writes = slapd.writesDone();
        const std::string mailboxes = cyrus.mailboxesWithAcls();
        const ProcessResult dry = sync(rows, joined(extra, {"-dryrun"}));
        EXPECT_EQ(0, dry.status) << dry.out << dry.err;
        EXPECT_EQ(writes, slapd.writesDone());
        EXPECT_EQ(mailboxes, cyrus.mailboxesWithAcls());
        for (const std::string& text : planned)
            EXPECT_NE(std::string::npos, dry.out.find(text)) << text << " not in:\n" << dry.out;
        const ProcessResult real = sync(rows, extra, syslogCaptured(audit));
        EXPECT_EQ(actions(dry.out), actions(real.out));
        return real;
    }

    // "uid<TAB>action" of each result line.
    static std::string actions(const std::string& out) {
        std::istringstream in(out);
        std::string lines;
        for (std::string line; std::getline(in, line);) {
            if (line.find('\t') != std::string::npos)
                lines += line.substr(0, line.find('\t', line.find('\t') + 1)) + "\n";
        }
        return lines;
    }

    std::string audited() const {
        std::ifstream in(audit);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    bool logsIn(const std::string& uid) const { return cyrus.userLogin(uid, "Pw-" + uid + "-1"); }

    const Slapd slapd{kClasses, "", Slapd::kMonitorDatabase};
    const Cyrus cyrus{slapd};
    const std::string audit = testing::TempDir() + "/sync-audit-" + slapd.portText();
};

TEST_F(SyncAcct, CreatesMovesChangesAndLocksAsItsDryRunSaidAndLeavesTheRestAlone) {
    const EntryValues staff = entryValues(slapd, "cn=staff,o=site");
    const EntryValues otto = entryValues(slapd, "uid=otto,o=site");
    const EntryValues anna = entryValues(slapd, "uid=anna,o=site");
    // Another tool wrote ben's membership of 10b in capitals, and dan's of
    // 10a with blanks the directory ignores: they are still theirs, ben's
    // goes when he moves, and dan is a leaver.
    slapd.modify(
        "dn: cn=10b,o=site\nchangetype: modify\ndelete: memberUid\nmemberUid: ben\n-\n"
        "add: memberUid\nmemberUid: BEN\n\n"
        "dn: cn=10a,o=site\nchangetype: modify\ndelete: memberUid\nmemberUid: dan\n-\n"
        "add: memberUid\nmemberUid:: IERhbiA=\n");
    const ProcessResult r =
        syncAsPlanned(kThisYear, {},
                      {"# to create 1, to move 2, to change 1, to lock 2, to unlock 0, to remove "
                       "0, unchanged 15 (of 21 managed accounts)\n",
                       "dn: uid=gina,o=site\nchangetype: add\n",
                       "dn: cn=10b,o=site\nchangetype: modify\ndelete: memberUid\nmemberUid: BEN\n",
                       "dn: uid=dan,o=site\nchangetype: modify\nreplace: userPassword\n"
                       "userPassword: {crypt}!*\n"});
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_EQ(
        "syncacct: to create 1, to move 2, to change 1, to lock 2, to unlock 0, to remove 0, "
        "unchanged 15 (of 21 managed accounts)\n",
        r.err);
    // In the order the sync acts: creations, changes, locks.
    EXPECT_EQ("gina\tcreate\nben\tmove\ncara\tmove\nfritz\tchange\ndan\tlock\neva\tlock\n",
              actions(r.out));
    const auto lines = resultLines(r.out);
    EXPECT_EQ(0u, lines.at("gina").find("create\t0\t")) << lines.at("gina");  // its password
    EXPECT_EQ(std::string("create\t0\t").size() + 12, lines.at("gina").size());
    EXPECT_EQ("move\t0", lines.at("ben"));

    EXPECT_EQ(std::vector<std::string>{"cn=11b,o=site"},
              slapd.holders("(memberUid:caseIgnoreIA5Match:=ben)"));
    EXPECT_EQ((std::vector<std::string>{"cn=staff,o=site", "cn=11a,o=site"}),
              slapd.holders("(memberUid=cara)"));
    EXPECT_EQ(std::vector<std::string>{"cn=11a,o=site"}, slapd.holders("(memberUid=fritz)"));
    EXPECT_EQ(std::set<std::string>{": Fischer"}, entryValues(slapd, "uid=fritz,o=site").at("sn"));
    EXPECT_EQ(std::vector<std::string>{"cn=10a,o=site"}, slapd.holders("(memberUid=gina)"));
    EXPECT_FALSE(logsIn("dan"));
    EXPECT_FALSE(logsIn("eva"));
    EXPECT_TRUE(logsIn("ben"));
    EXPECT_EQ(shown(staff), shown(entryValues(slapd, "cn=staff,o=site")));
    EXPECT_EQ(shown(otto), shown(entryValues(slapd, "uid=otto,o=site")));
    EXPECT_EQ(shown(anna), shown(entryValues(slapd, "uid=anna,o=site")));

    // One audit line per account acted on, as its program writes it.
    const std::string log = audited();
    for (const char* line : {"syncacct: by=admin uid=gina uidnumber=",
                             "syncacct: by=admin uid=ben changed=class status=0",
                             "syncacct: by=admin uid=fritz changed=sn status=0",
                             "syncacct: by=admin uid=dan changed=lock status=0"})
        EXPECT_NE(std::string::npos, log.find(line)) << line << " not in:\n" << log;
    EXPECT_EQ(6, std::count(log.begin(), log.end(), '\n')) << log;
}

TEST_F(SyncAcct, GraceZeroRemovesTheLeaversFromAllThreeServersAndNothingElse) {
    ASSERT_EQ(0, sync(kThisYear).status);
    const Entries directory = parseDump(slapd.dump());
    const std::string mailboxes = cyrus.mailboxesWithAcls();
    const std::string annasScripts = cyrus.listScripts("anna");
    const ProcessResult r =
        syncAsPlanned(kThisYear, {"-grace", "0"},
                      {"to remove 2", "dn: uid=dan,o=site\nchangetype: delete\n",
                       "# imap: delete \"user.dan\"\n", "# sieve: delete \"a\"\n"});
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_EQ("dan\tremove\t0\neva\tremove\t0\n", r.out);
    const Entries expected = expectedAfterRemoval(directory, {"dan", "eva"});
    const Entries after = parseDump(slapd.dump());
    EXPECT_TRUE(expected == after) << difference(expected, after);
    EXPECT_EQ(mailboxesAfterRemoval(mailboxes, {"dan", "eva"}), cyrus.mailboxesWithAcls());
    EXPECT_EQ(0u, cyrus.listScripts("dan").rfind("NO", 0));
    EXPECT_EQ(annasScripts, cyrus.listScripts("anna"));
    EXPECT_NE(std::string::npos,
              audited().find("syncacct: by=admin uid=dan stages=sieve,imap,ldap entries=2 "));
}

// A mail server lost while leavers are removed leaves their entries, locked
// and in their classes: the same sync run again finishes the removal.
TEST_F(SyncAcct, ARemovalCutShortByAMailServerIsFinishedByTheNextRun) {
    ASSERT_EQ(0, sync(kThisYear).status);
    const std::string mailboxes = cyrus.mailboxesWithAcls();
    const ProcessResult cut = sync(kThisYear, {"-grace", "0", "-CP", "1"});
    EXPECT_EQ(237, cut.status) << cut.out << cut.err;
    EXPECT_TRUE(slapd.exists("uid=dan,o=site"));
    const ProcessResult again = sync(kThisYear, {"-grace", "0"});
    EXPECT_EQ(0, again.status) << again.out << again.err;
    EXPECT_EQ("dan\tremove\t0\neva\tremove\t0\n", again.out);
    EXPECT_FALSE(slapd.exists("uid=dan,o=site"));
    EXPECT_EQ(mailboxesAfterRemoval(mailboxes, {"dan", "eva"}), cyrus.mailboxesWithAcls());
}

// The directory lost at the leavers' class group, after their mail and
// entries went: they are left members of their class, and the same sync
// run again takes those memberships away, and nothing else: a mailbox of a
// login whose entry is gone is not the sync's to delete, and such members
// are not counted by the guard.
TEST_F(SyncAcct, ARemovalCutShortByTheDirectoryIsFinishedByTheNextRun) {
    ASSERT_EQ(0, sync(kThisYear).status);
    {
        DroppingProxy proxy(slapd.port(), "cn=10a,o=site", DroppingProxy::Relayed);
        const ProcessResult cut =
            runSyncacct(joined(syncArgs(kThisYear, proxy.portText()), {"-grace", "0"}));
        EXPECT_EQ(237, cut.status) << cut.out << cut.err;
        EXPECT_EQ("dan\tremove\neva\tremove\n", actions(cut.out));
        EXPECT_EQ(std::string::npos, cut.out.find("\t0")) << cut.out;
    }
    EXPECT_FALSE(slapd.exists("uid=dan,o=site"));
    EXPECT_EQ(std::vector<std::string>{"cn=10a,o=site"}, slapd.holders("(memberUid=dan)"));
    cyrus.imap({"C create user.eva"});
    // Members without accounts are no managed accounts: five of them do
    // not make the guard refuse a school of 21.
    slapd.modify(
        "dn: cn=11a,o=site\nchangetype: modify\nadd: memberUid\nmemberUid: gone1\n"
        "memberUid: gone2\nmemberUid: gone3\n");
    const std::string mailboxes = cyrus.mailboxesWithAcls();
    const ProcessResult again = sync(kThisYear, {"-grace", "0"});
    EXPECT_EQ(0, again.status) << again.out << again.err;
    EXPECT_EQ(
        "dan\tremove\t0\neva\tremove\t0\ngone1\tremove\t0\ngone2\tremove\t0\n"
        "gone3\tremove\t0\n",
        again.out);
    EXPECT_EQ(std::vector<std::string>{},
              slapd.holders("(|(memberUid=dan)(memberUid=eva)(memberUid=gone1))"));
    EXPECT_EQ(mailboxes, cyrus.mailboxesWithAcls());
    EXPECT_EQ("", sync(kThisYear, {"-grace", "0"}).out);
}

TEST_F(SyncAcct, TheSameRosterAgainFindsNothingToDoAndWritesNothing) {
    ASSERT_EQ(0, sync(kThisYear).status);
    const long writes = slapd.writesDone();
    const ProcessResult again = sync(kThisYear);
    EXPECT_EQ(0, again.status) << again.out << again.err;
    EXPECT_EQ("", again.out);
    EXPECT_EQ(writes, slapd.writesDone());
}

// Only one class exported: the rest of the school would be locked.
TEST_F(SyncAcct, ARosterMissingMostOfTheSchoolChangesNothingWithoutForce) {
    const long writes = slapd.writesDone();
    Rows partial{{"uid", "sn", "class"}, {"anna", "Adler", "10a"}, {"gina", "Gold", "10a"}};
    for (int n = 1; n <= kStayers; n += 2)
        partial.push_back({stayer(n), "Pupil", "10a"});
    const ProcessResult r = sync(partial, {"-grace", "0"});
    EXPECT_EQ(231, r.status) << r.out << r.err;
    EXPECT_EQ("", r.out);
    EXPECT_NE(std::string::npos,
              r.err.find("12 of 21 managed accounts would be locked or removed, more than 10 %: "
                         "an export of only part of the school looks like this"))
        << r.err;
    EXPECT_EQ(writes, slapd.writesDone());
    EXPECT_TRUE(logsIn("dan"));

    const ProcessResult forced = sync(partial, {"-grace", "0", "-force"});
    EXPECT_EQ(0, forced.status) << forced.out << forced.err;
    EXPECT_FALSE(slapd.exists("uid=ben,o=site"));
}

// The directory lost at the first group's modify: what was done stays, the
// rest is not done (244); the same roster again finishes the sync.
TEST_F(SyncAcct, ALostDirectoryStopsTheSyncAndASecondRunFinishesIt) {
    {
        DroppingProxy proxy(slapd.port(), "cn=10b,o=site");
        const ProcessResult cut = runSyncacct(syncArgs(kThisYear, proxy.portText()));
        EXPECT_EQ(237, cut.status) << cut.out << cut.err;
        EXPECT_EQ(6u, resultLines(cut.out).size()) << cut.out;
        for (const auto& [uid, line] : resultLines(cut.out)) {
            if (uid == "gina")
                EXPECT_EQ(0u, line.find("create\t0\t")) << line;
            else
                EXPECT_NE(std::string::npos,
                          line.find("\t244\tnot done: the connection to the directory was lost"))
                    << uid << ": " << line;
        }
    }
    const ProcessResult again = sync(kThisYear);
    EXPECT_EQ(0, again.status) << again.out << again.err;
    EXPECT_EQ("ben\tmove\ncara\tmove\nfritz\tchange\ndan\tlock\neva\tlock\n", actions(again.out));
    EXPECT_EQ("", sync(kThisYear).out);
    EXPECT_EQ(std::vector<std::string>{"cn=11b,o=site"},
              slapd.holders("(memberUid:caseIgnoreIA5Match:=ben)"));
}

// Result lines that cannot be written end 235 and name the pupils whose
// made-up passwords were lost; their accounts were made.
TEST_F(SyncAcct, LostResultLinesEndWith235NamingThePasswordsLost) {
    const std::vector<std::string> shell{"-c", "exec \"$@\" >/dev/full", "sh", SYNCACCT_BIN};
    const ProcessResult r =
        runProcess("/bin/sh", joined(shell, syncArgs(kThisYear, slapd.portText())));
    EXPECT_EQ(235, r.status);
    EXPECT_NE(std::string::npos,
              r.err.find("output could not be written (No space left on device): the passwords "
                         "made up for gina were not delivered (the accounts were created: give "
                         "them new passwords)\n"))
        << r.err;
    EXPECT_TRUE(slapd.exists("uid=gina,o=site"));
}

TEST_F(SyncAcct, ALeaverWhoComesBackBeforeTheGraceEndsIsUnlockedWithTheMailKept) {
    ASSERT_EQ(0, sync(kThisYear).status);
    ASSERT_FALSE(logsIn("eva"));
    const std::string mailboxes = cyrus.mailboxesWithAcls();
    Rows back = kThisYear;
    back.push_back({"eva", "Ernst", "11a", ""});
    const ProcessResult r = sync(back, {"-grace", "30"});
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_EQ("eva\tunlock\t0\n", r.out);
    EXPECT_TRUE(logsIn("eva"));
    EXPECT_EQ(mailboxes, cyrus.mailboxesWithAcls());
    EXPECT_EQ(std::vector<std::string>{"cn=11a,o=site"}, slapd.holders("(memberUid=eva)"));
    EXPECT_FALSE(logsIn("dan"));  // locked today, within its grace
}

// The rule that removes: a leaver goes once locked at least -grace days
// ago; one not yet locked (or without a lock day) counts as locked today.
TEST(SyncAcctRules, ALeaverIsRemovedOnlyOnceLockedForTheGraceDays) {
    const struct {
        LockState lock;
        std::optional<int> grace;
        std::optional<SyncAction> action;
    } cases[] = {
        {{false, {}}, {}, SyncAction::Lock},
        {{false, {}}, 0, SyncAction::Remove},
        {{false, {}}, 1, SyncAction::Lock},
        {{true, 100}, {}, std::nullopt},
        {{true, 100}, 31, std::nullopt},
        {{true, 100}, 30, SyncAction::Remove},
        {{true, {}}, 30, std::nullopt},
        {{true, {}}, 0, SyncAction::Remove},
        {{true, 140}, 0, std::nullopt},  // a lock day after today
        // shadowExpire -1 ("never expires", beside no password) and 0 are
        // no lock day: such a leaver is not removed at once.
        {{true, -1}, 30, std::nullopt},
        {{true, 0}, 30, std::nullopt},
        {{true, -1}, 0, SyncAction::Remove},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.action, leaverAction(c.lock, 130, c.grace))
            << c.lock.locked << " " << c.lock.since.value_or(-1) << " " << c.grace.value_or(-1);
}

}  // namespace
