// A removal changes nothing that is not the account's: the whole directory,
// every mailbox with its ACL and other users' scripts are compared before
// and after, also for hostile user names and hostile newacct values.
#include <gtest/gtest.h>

#include "tests/support/Accounts.h"
#include "tests/support/Cyrus.h"
#include "tests/support/DirectoryState.h"
#include "tests/support/Process.h"
#include "tests/support/Runs.h"
#include "tests/support/Slapd.h"

namespace {

// Groups whose names or members resemble jdoe, one of them deeper down.
const char* kGroups = R"(
dn: cn=jdoe-team,o=site
objectClass: posixGroup
cn: jdoe-team
gidNumber: 5000
memberUid: jdoe
memberUid: alice
memberUid: jdoex

dn: cn=deep,ou=groups,o=site
objectClass: posixGroup
cn: deep
gidNumber: 5001
memberUid: jdoe
)";

// Another administrator of the address book besides jdoe.
const char* kAliceAdministrates = R"(dn: cn=AddressAdmins,o=AddressBook,o=site
changetype: modify
add: member
member: uid=alice,o=site
)";

class Integrity : public ::testing::Test {
  protected:
    void SetUp() override {
        slapd.modify(kJdoeReferences);
        slapd.modify(kAliceAdministrates);
        cyrus.imap({"C1 create user.jdoe", "C2 create user.jdoe.sub", "C3 create user.alice",
                    "C4 create user.alice.jdoe", "C5 create shared1", "C6 create user.jdoex",
                    "A1 setacl user.alice jdoe lrs", "A2 setacl user.alice.jdoe jdoex lr",
                    "A3 setacl shared1 jdoe lrsw", "A4 setacl shared1 -jdoe w",
                    "A5 setacl shared1 jdoex lr", "A6 setacl user.jdoex jdoe lr"});
        cyrus.putScripts("alice", {"filter", "vacation"}, "filter");
        cyrus.putScripts("jdoe", {"a", "b"}, "b");
    }
    ProcessResult drop(const std::string& uid, const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args = removalEverywhere(slapd, cyrus, uid);
        args.insert(args.end(), extra.begin(), extra.end());
        return runProcess(DROPACCT_BIN, args);
    }

    Slapd slapd{std::string(kJdoeEntries) + kGroups};
    Cyrus cyrus;
};

TEST_F(Integrity, RemovalTouchesOnlyTheAccount) {
    const Entries before = parseDump(slapd.dump());
    const std::string mailboxesBefore = cyrus.mailboxesWithAcls();
    const std::string aliceScripts = cyrus.listScripts("alice");

    const ProcessResult r = drop("jdoe");
    ASSERT_EQ(0, r.status) << r.out;

    const Entries expected = expectedAfterRemoval(before, {"jdoe"});
    const Entries after = parseDump(slapd.dump());
    EXPECT_TRUE(expected == after) << difference(expected, after);
    // Only jdoe's mailboxes and jdoe's own ACL entries are gone: negative
    // rights, similar names and mailboxes named after jdoe stay.
    EXPECT_EQ(
        "shared1 anyone lrs -jdoe w jdoex lr\r\n"
        "user.alice alice lrswipkxtecdan\r\n"
        "user.alice.#sieve alice lrswipkxtecdan\r\n"
        "user.alice.jdoe alice lrswipkxtecdan jdoex lr\r\n"
        "user.jdoex jdoex lrswipkxtecdan\r\n",
        cyrus.mailboxesWithAcls())
        << "before:\n"
        << mailboxesBefore;
    EXPECT_EQ(aliceScripts, cyrus.listScripts("alice"));
}

TEST_F(Integrity, HostileUidsChangeNothing) {
    const std::string directory = slapd.dump();
    const std::string mailboxes = cyrus.mailboxesWithAcls();
    for (const std::string uid : {"*", "a)(uid=b", "jdoe,ou=staff", "alice ", "jdoe\r", "\xff\xfe",
                                  "jdoe\" \"x", "alice,o=site", "user.alice"}) {
        const ProcessResult r = drop(uid);
        EXPECT_NE(0, r.status) << uid;
        EXPECT_EQ(directory, slapd.dump()) << uid;
        EXPECT_EQ(mailboxes, cyrus.mailboxesWithAcls()) << uid;
    }
}

TEST_F(Integrity, HostileNewacctValuesChangeNoOtherAccount) {
    const Entries before = parseDump(slapd.dump());
    const auto create = [&](std::vector<std::string> more) {
        std::vector<std::string> args{
            "-bDN",           "o=site", "-al", "admin", "-ap", "secret", "-H", "127.0.0.1", "-P",
            slapd.portText(), "-sn",    "S",   "-up",   "pw",  "-o",     "O",  "-c",        "DE",
            "-groupware",     "phpgw"};
        args.insert(args.end(), more.begin(), more.end());
        return runProcess(NEWACCT_BIN, args);
    };
    EXPECT_EQ(0, create({"-uid", "mallory", "-alias", "*", "-alias", "a)(uid=b"}).status);
    EXPECT_EQ(242, create({"-uid", "eve", "-class", "users,o=site", "-class", "*"}).status);
    // A comma is part of the name, not a way into ou=groups.
    EXPECT_EQ(0, create({"-uid", "jdoe,ou=groups"}).status);
    EXPECT_TRUE(slapd.exists("uid=jdoe\\,ou\\=groups,o=site"));
    Entries after = parseDump(slapd.dump());
    for (auto it = after.begin(); it != after.end();) {
        it = before.count(it->first) ? std::next(it) : after.erase(it);  // the new accounts
    }
    EXPECT_TRUE(before == after) << difference(before, after);
}

// A plan reads everything and changes nothing; applied with ldapmodify to
// a copy of the directory, it leaves the copy as the removal leaves the
// original.
TEST_F(Integrity, PlanChangesNothingAndMatchesTheRemoval) {
    const std::string directory = slapd.dump();
    const std::string mailboxes = cyrus.mailboxesWithAcls();
    const std::string scripts = cyrus.listScripts("jdoe") + cyrus.listScripts("alice");
    const ProcessResult plan = drop("jdoe", {"-dryrun"});
    ASSERT_EQ(0, plan.status) << plan.out;
    EXPECT_EQ(directory, slapd.dump());
    EXPECT_EQ(mailboxes, cyrus.mailboxesWithAcls());
    EXPECT_EQ(scripts, cyrus.listScripts("jdoe") + cyrus.listScripts("alice"));
    EXPECT_NE(std::string::npos, plan.out.find("# sieve: deactivate \"b\"\n# sieve: delete \"a\"\n"
                                               "# sieve: delete \"b\"\n"))
        << plan.out;
    // jdoe's own entries only, not jdoex's beside or without them.
    std::string imapSteps;
    for (size_t at = 0; (at = plan.out.find("# imap: ", at)) != std::string::npos;) {
        const size_t end = plan.out.find('\n', at) + 1;
        imapSteps += plan.out.substr(at, end - at);
        at = end;
    }
    EXPECT_EQ(
        "# imap: deleteacl \"user.alice\" jdoe\n# imap: deleteacl \"user.alice.#sieve\" jdoe\n"
        "# imap: deleteacl \"user.jdoe\" jdoe\n# imap: deleteacl \"user.jdoe.#sieve\" jdoe\n"
        "# imap: deleteacl \"user.jdoe.sub\" jdoe\n# imap: deleteacl \"user.jdoex\" jdoe\n"
        "# imap: deleteacl \"shared1\" jdoe\n"
        "# imap: delete \"user.jdoe\"\n# imap:   with \"user.jdoe.#sieve\"\n"
        "# imap:   with \"user.jdoe.sub\"\n",
        imapSteps);
    // Deepest entries first, then the administrators, then the user entry.
    EXPECT_LT(plan.out.find("dn: cn=c1,ou=addr,uid=jdoe,o=site\nchangetype: delete"),
              plan.out.find("dn: ou=addr,uid=jdoe,o=site\nchangetype: delete"));
    EXPECT_LT(plan.out.find("dn: cn=AddressAdmins,o=AddressBook,o=site\nchangetype: modify"),
              plan.out.find("dn: uid=jdoe,o=site\nchangetype: delete"));

    Slapd copy{std::string(kJdoeEntries) + kGroups};
    copy.modify(kJdoeReferences);
    copy.modify(kAliceAdministrates);
    copy.modify(plan.out);
    ASSERT_EQ(
        0, runProcess(DROPACCT_BIN, {"-ldap", "-LH", "127.0.0.1", "-LP", slapd.portText(), "-bDN",
                                     "o=site", "-al", "admin", "-ap", "secret", "-uid", "jdoe"})
               .status);
    EXPECT_EQ(slapd.dump(), copy.dump());
    // A read that fails keeps its status; a mailbox that is not there fails
    // the plan as it fails the removal, with or without the ACL sweep.
    EXPECT_EQ(240, drop("nosuch", {"-dryrun"}).status);
    for (const char* acls : {"-imap", "-noacl"}) {
        const ProcessResult r =
            runProcess(DROPACCT_BIN,
                       {"-imap", acls, "-CH", "127.0.0.1", "-CP", std::to_string(cyrus.imapPort()),
                        "-al", "admin", "-ap", "secret", "-uid", "nosuch", "-dryrun"});
        EXPECT_EQ(212, r.status) << acls << ": " << r.out;
    }
}

}  // namespace
