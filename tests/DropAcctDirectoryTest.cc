// dropacct -ldap against a private slapd: what it removes, what it leaves,
// its traces and its statuses, and where a single run stops.
#include <gtest/gtest.h>

#include "tests/support/Accounts.h"
#include "tests/support/Process.h"
#include "tests/support/Runs.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/SilentServer.h"
#include "tests/support/Slapd.h"

namespace {

class DropAcctDirectory : public ::testing::Test {
  protected:
    ProcessResult drop(const std::string& uid, std::vector<std::string> extra = {},
                       const std::string& password = "secret") {
        std::vector<std::string> args{"-ldap",  "-LH",    "127.0.0.1", "-LP",   slapd.portText(),
                                      "-bDN",   "o=site", "-al",       "admin", "-ap",
                                      password, "-uid",   uid};
        args.insert(args.end(), extra.begin(), extra.end());
        return runProcess(DROPACCT_BIN, args);
    }
    std::string everything() const { return slapd.dump(); }

    Slapd slapd{kJdoeEntries};
};

// The uid as typed in another case is the login newacct stored; a
// memberUid that another tool wrote in other case, or with blanks the
// directory ignores (" JDoe  "), is that login too; "jdoes" is not.
TEST_F(DropAcctDirectory, RemovesTheAccountAndEveryReferenceToIt) {
    slapd.modify(kJdoeReferences);
    slapd.modify(
        "dn: cn=staff,o=site\nchangetype: modify\nadd: memberUid\nmemberUid: JDoe\n\n"
        "dn: cn=audio,o=site\nchangetype: modify\nadd: memberUid\nmemberUid:: IEpEb2UgIA==\n"
        "memberUid: jdoes\n");
    const ProcessResult r = drop("JDoe", {"-debug"});
    EXPECT_EQ(0, r.status) << r.out;
    EXPECT_EQ("", r.out);
    EXPECT_EQ(
        "DropAcct::dropAcctLDAPGroups()\n"
        "    removing user from: cn=users,o=site\n"
        "    removing user from: cn=staff,o=site\n"
        "    removing user from: cn=audio,o=site\n"
        "DropAcct::dropAcctLDAPsharedFolder()\n"
        "    removing user from: cn=shared1,o=site\n"
        "DropAcct::dropAcctLDAPEntry()\n"
        "DropAcct::delLDAPChildren(uid=jdoe,o=site)\n"
        "DropAcct::delLDAPChildren(ou=addr,uid=jdoe,o=site)\n"
        "DropAcct::delLDAPChildren(cn=c1,ou=addr,uid=jdoe,o=site)\n"
        "   deleting:cn=c1,ou=addr,uid=jdoe,o=site\n"
        "DropAcct::delLDAPChildren(cn=c2,ou=addr,uid=jdoe,o=site)\n"
        "   deleting:cn=c2,ou=addr,uid=jdoe,o=site\n"
        "   deleting:ou=addr,uid=jdoe,o=site\n"
        "DropAcct::delFromAddressBookAdmins()\n"
        "   deleting from AddressBookAdmins\n"
        "   deleting user entry\n"
        "done DropAcct::dropAcctLDAPEntry()\n",
        r.err);

    EXPECT_FALSE(slapd.exists("uid=jdoe,o=site"));
    // Other members stay; the group one level deeper is not touched.
    EXPECT_EQ("dn: cn=users,o=site\nmemberUid: alice\n\n",
              slapd.search("cn=users,o=site", "(objectClass=*)", "base", "memberUid"));
    EXPECT_EQ("dn: cn=staff,o=site\n\n",
              slapd.search("cn=staff,o=site", "(objectClass=*)", "base", "memberUid"));
    EXPECT_EQ("dn: cn=audio,o=site\nmemberUid: jdoes\n\n",
              slapd.search("cn=audio,o=site", "(objectClass=*)", "base", "memberUid"));
    EXPECT_EQ("dn: cn=projects,ou=groups,o=site\nmemberUid: alice\nmemberUid: jdoe\n\n",
              slapd.search("cn=projects,ou=groups,o=site", "(objectClass=*)", "base", "memberUid"));
    EXPECT_EQ("dn: cn=shared1,o=site\ndeliverToUID: alice\n\n",
              slapd.search("cn=shared1,o=site", "(objectClass=*)", "base", "deliverToUID"));
    EXPECT_EQ(
        "dn: cn=AddressAdmins,o=AddressBook,o=site\nmember: cn=placeholder\n\n",
        slapd.search("cn=AddressAdmins,o=AddressBook,o=site", "(objectClass=*)", "base", "member"));
}

TEST_F(DropAcctDirectory, AUserWithoutReferencesOnlyLosesItsEntries) {
    const ProcessResult r = drop("jdoe", {"-debug"});
    EXPECT_EQ(0, r.status);
    EXPECT_NE(std::string::npos, r.err.find("   user wasn't member of AddressBookAdmins\n"));
    EXPECT_EQ(std::string::npos, r.err.find("removing user from"));
    EXPECT_FALSE(slapd.exists("uid=jdoe,o=site"));
}

TEST_F(DropAcctDirectory, WrongPasswordEndsWith249) {
    const std::string before = everything();
    const ProcessResult r = drop("jdoe", {}, "wrong");
    EXPECT_EQ(249, r.status);
    EXPECT_EQ("ldap bind failed\nInvalid credentials\n", r.out);
    EXPECT_EQ(before, everything());
}

TEST_F(DropAcctDirectory, UnreachableServerEndsWith249) {
    slapd.stop();
    const ProcessResult r = drop("jdoe");
    EXPECT_EQ(249, r.status);
    EXPECT_EQ("ldap bind failed\nCan't contact LDAP server\n", r.out);
}

TEST_F(DropAcctDirectory, MissingUserCleansReferencesThenEndsWith240) {
    slapd.modify("dn: cn=users,o=site\nchangetype: modify\nadd: memberUid\nmemberUid: ghost\n");
    const ProcessResult r = drop("ghost");
    EXPECT_EQ(240, r.status);
    EXPECT_EQ("failed to delete user subentries from ldap: No such object\n", r.out);
    EXPECT_EQ("dn: cn=users,o=site\nmemberUid: alice\n\n",
              slapd.search("cn=users,o=site", "(objectClass=*)", "base", "memberUid"));
}

TEST_F(DropAcctDirectory, MissingAdministratorsEntryEndsWith239AfterTheSubtree) {
    slapd.modify("dn: cn=AddressAdmins,o=AddressBook,o=site\nchangetype: delete\n");
    const ProcessResult r = drop("jdoe");
    EXPECT_EQ(239, r.status);
    EXPECT_EQ("failed to modify Addressbook AdminsNo such object\n", r.out);
    EXPECT_FALSE(slapd.exists("ou=addr,uid=jdoe,o=site"));
    EXPECT_TRUE(slapd.exists("uid=jdoe,o=site"));
}

// Entries named cn=readonly-* refuse every change, also the administrator's.
const char* kReadOnlyGroup = R"(
dn: cn=readonly-group,o=site
objectClass: posixGroup
cn: readonly-group
gidNumber: 4000
memberUid: jdoe
)";
const char* kReadOnlyFolder = R"(
dn: cn=readonly-folder,o=site
objectClass: TolvoIMAPFolderObject
cn: readonly-folder
deliverToUID: jdoe
)";

TEST(DropAcctDirectoryRefusals, GroupFailureEndsWith242BeforeAnythingIsDeleted) {
    Slapd slapd(std::string(kJdoeEntries) + kReadOnlyGroup);
    const ProcessResult r =
        runProcess(DROPACCT_BIN, {"-ldap", "-LH", "127.0.0.1", "-LP", slapd.portText(), "-bDN",
                                  "o=site", "-al", "admin", "-ap", "secret", "-uid", "jdoe"});
    EXPECT_EQ(242, r.status);
    EXPECT_EQ("failed to remove user from ldap groups: Insufficient access\n", r.out);
    EXPECT_TRUE(slapd.exists("cn=c1,ou=addr,uid=jdoe,o=site"));
}

TEST(DropAcctDirectoryRefusals, SharedFolderFailureEndsWith241) {
    Slapd slapd(std::string(kJdoeEntries) + kReadOnlyFolder);
    const ProcessResult r =
        runProcess(DROPACCT_BIN, {"-ldap", "-LH", "127.0.0.1", "-LP", slapd.portText(), "-bDN",
                                  "o=site", "-al", "admin", "-ap", "secret", "-uid", "jdoe"});
    EXPECT_EQ(241, r.status);
    EXPECT_EQ("failed to remove user from shared folder:Insufficient access\n", r.out);
    EXPECT_TRUE(slapd.exists("uid=jdoe,o=site"));
}

TEST_F(DropAcctDirectory, HostileUidsTouchNothingElse) {
    const std::string before = everything();
    for (const char* uid : {"*", "a)(uid=b", "jdoe,ou=staff", "x)(|(memberUid=*", "alice,o=site"}) {
        const ProcessResult r = drop(uid);
        EXPECT_EQ(240, r.status) << uid << ": " << r.out;
        EXPECT_EQ(before, everything()) << uid;
    }
}

// A single run stops at its first failing stage, as it always did: no
// later server is contacted, and the trace names no step that did not run.
TEST(DropAcctStageStops, NoServerAfterTheFailingStage) {
    Slapd slapd;
    const ScriptedServer refusingSieve({send("\"SASL\" \"PLAIN\"\r\nOK\r\n"), readLine(),
                                        send("NO \"Authentication Error\"\r\n"), readLine(),
                                        send("OK\r\n")});
    const struct {
        const char* stage;
        std::vector<std::pair<std::string, std::string>> params;
        int code;
        bool sieveStands;  // the Sieve listener is the Sieve server of the run
    } cases[] = {
        {"directory: no such user", {{"ldap", ""}, {"uid", "ghost"}}, -16, true},
        {"directory: bind refused", {{"ldap", ""}, {"ap", "wrong"}}, -7, true},
        {"Sieve: login refused", {{"SP", refusingSieve.portText()}}, -51, false},
        {"Sieve: no server", {{"SP", "1"}}, -50, false},
    };
    for (const auto& c : cases) {
        const SilentServer sieve;
        const SilentServer imap;
        std::vector<std::pair<std::string, std::string>> params{{"LH", "127.0.0.1"},
                                                                {"LP", slapd.portText()},
                                                                {"bDN", "o=site"},
                                                                {"al", "admin"},
                                                                {"ap", "secret"},
                                                                {"uid", "alice"},
                                                                {"CH", "127.0.0.1"},
                                                                {"SP", sieve.portText()},
                                                                {"CP", imap.portText()},
                                                                {"sieve", ""},
                                                                {"imap", ""},
                                                                {"debug", ""}};
        params.insert(params.end(), c.params.begin(), c.params.end());
        testing::internal::CaptureStderr();
        const MyException result = dropInProcess(params, ReplyWaits{500, 400});
        const std::string trace = testing::internal::GetCapturedStderr();
        EXPECT_EQ(c.code, result.code) << c.stage << ": " << result.message;
        EXPECT_FALSE(imap.contacted()) << c.stage;
        EXPECT_EQ(std::string::npos, trace.find("dropAcctFromCyrus")) << c.stage;
        if (c.sieveStands) {
            EXPECT_FALSE(sieve.contacted()) << c.stage;
            EXPECT_EQ(std::string::npos, trace.find("dropAcctSieve")) << c.stage;
        }
    }
}

// The trace of a failed directory stage ends with the step that failed.
TEST_F(DropAcctDirectory, TraceEndsAtTheFailingStep) {
    const ProcessResult r = drop("ghost", {"-debug"});
    EXPECT_EQ(240, r.status);
    EXPECT_EQ(
        "DropAcct::dropAcctLDAPGroups()\n"
        "DropAcct::dropAcctLDAPsharedFolder()\n"
        "DropAcct::dropAcctLDAPEntry()\n"
        "DropAcct::delLDAPChildren(uid=ghost,o=site)\n",
        r.err);
}

TEST_F(DropAcctDirectory, NoStageFlagContactsNothing) {
    slapd.stop();
    const ProcessResult r = runProcess(DROPACCT_BIN, {"-uid", "jdoe", "-LP", "1"});
    EXPECT_EQ(0, r.status);
}

// A plan whose run fails after the directory stage planned its part prints
// the usual message and none of the plan: part of one must not be applied.
TEST_F(DropAcctDirectory, FailedPlanPrintsNoLdif) {
    slapd.modify(kJdoeReferences);
    const ProcessResult r = drop("jdoe", {"-dryrun", "-imap", "-CH", "127.0.0.1", "-CP", "1"});
    EXPECT_EQ(215, r.status);
    EXPECT_EQ("Socket Error\n", r.out);
}

}  // namespace
