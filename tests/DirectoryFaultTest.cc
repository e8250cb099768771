// Each write of both programs refused by the directory, through one access
// rule at a time, and the connection to the directory lost at each request:
// every run ends with the status and message of the step that failed, and
// what was written before stays.
#include <gtest/gtest.h>

#include "tests/support/Accounts.h"
#include "tests/support/DroppingProxy.h"
#include "tests/support/Process.h"
#include "tests/support/Slapd.h"

namespace {

std::string refuse(const std::string& dn, const std::string& attributes) {
    return "access to dn.exact=\"" + dn + "\" attrs=" + attributes + "\n\tby * read\n";
}

ProcessResult dropJdoe(const std::string& port) {
    return runProcess(DROPACCT_BIN, {"-ldap", "-LH", "127.0.0.1", "-LP", port, "-bDN", "o=site",
                                     "-al", "admin", "-ap", "secret", "-uid", "jdoe"});
}

ProcessResult createJdoe(const std::string& port) {
    return runProcess(NEWACCT_BIN, {"-bDN",
                                    "o=site",
                                    "-al",
                                    "admin",
                                    "-ap",
                                    "secret",
                                    "-H",
                                    "127.0.0.1",
                                    "-P",
                                    port,
                                    "-uid",
                                    "jdoe",
                                    "-sn",
                                    "Doe",
                                    "-up",
                                    "pw",
                                    "-o",
                                    "A",
                                    "-c",
                                    "DE",
                                    "-class",
                                    "users",
                                    "-writeglobaladdress",
                                    "allowed"});
}

TEST(DirectoryFaults, DropacctRefusals) {
    struct Case {
        std::string acl;
        int status;
        const char* message;
        const char* survivor;  // an entry that must still be there
    } cases[] = {
        {refuse("cn=c1,ou=addr,uid=jdoe,o=site", "entry"), 240,
         "failed to delete user subentries from ldap: Insufficient access    additional info: no "
         "write access to entry",
         "cn=c1,ou=addr,uid=jdoe,o=site"},
        {refuse("uid=jdoe,o=site", "entry"), 241,
         "failed to delete user from ldap: Insufficient access    additional info: no write "
         "access to entry",
         "uid=jdoe,o=site"},
    };
    for (const Case& c : cases) {
        Slapd slapd(kJdoeEntries, c.acl);
        const ProcessResult r = dropJdoe(slapd.portText());
        EXPECT_EQ(c.status, r.status) << c.acl;
        EXPECT_EQ(std::string(c.message) + "\n", r.out);
        EXPECT_TRUE(slapd.exists(c.survivor));
    }
}

TEST(DirectoryFaults, DropacctAdministratorsRefusal) {
    // The rule lets the administrator add the membership, then refuses its removal.
    Slapd slapd(kJdoeEntries,
                "access to dn.exact=\"cn=AddressAdmins,o=AddressBook,o=site\" attrs=member\n"
                "\tby dn.exact=\"uid=admin,o=site\" add\n\tby * read\n");
    slapd.modify(
        "dn: cn=AddressAdmins,o=AddressBook,o=site\nchangetype: modify\nadd: member\n"
        "member: uid=jdoe,o=site\n");
    const ProcessResult r = dropJdoe(slapd.portText());
    EXPECT_EQ(239, r.status);
    EXPECT_EQ("failed to modify Addressbook AdminsInsufficient access\n", r.out);
    EXPECT_FALSE(slapd.exists("ou=addr,uid=jdoe,o=site"));
    EXPECT_TRUE(slapd.exists("uid=jdoe,o=site"));
}

TEST(DirectoryFaults, NewacctRefusals) {
    struct Case {
        std::string acl;
        const char* message;
        bool userWritten;
    } cases[] = {
        {refuse("uid=jdoe,o=site", "entry"), "failed to add entry: Insufficient access", false},
        {refuse("ou=addr,uid=jdoe,o=site", "entry"), "failed to add entry: Insufficient access",
         true},
        {refuse("cn=AddressAdmins,o=AddressBook,o=site", "member"),
         "failed give user write access to the global address book: Insufficient access", true},
        {refuse("uid=jdoe:system,o=AddressBook,o=site", "entry"),
         "failed to add entry: Insufficient access", true},
        {refuse("cn=users,o=site", "memberUid"),
         "failed give user jdoe to the class:users Insufficient access", true},
    };
    for (const Case& c : cases) {
        Slapd slapd(std::string(), c.acl);
        const ProcessResult r = createJdoe(slapd.portText());
        EXPECT_EQ(242, r.status) << c.acl;
        EXPECT_EQ(std::string(c.message) + "\n", r.out) << c.acl;
        EXPECT_EQ(c.userWritten, slapd.exists("uid=jdoe,o=site")) << c.acl;
    }
}

constexpr DroppingProxy::Cut kCuts[] = {DroppingProxy::BeforeRequest, DroppingProxy::BeforeReply};

std::string describeCut(DroppingProxy::Cut cut, int request, const ProcessResult& r) {
    return std::string(cut == DroppingProxy::BeforeRequest ? "before" : "after") + " request " +
           std::to_string(request) + ": " + r.out;
}

// Cut before the server sees a request, or after it carried it out but
// before its answer arrives: the run never ends with 0, and running it again
// finishes the removal, or reports the account gone when the cut hid its
// deletion.
TEST(DirectoryFaults, DropacctConnectionLostAtEachRequest) {
    std::string removed;  // the directory after an uncut removal
    int requests = 0;
    {
        Slapd slapd(kJdoeEntries);
        slapd.modify(kJdoeReferences);
        DroppingProxy proxy(slapd.port(), 0, DroppingProxy::BeforeRequest);
        ASSERT_EQ(0, dropJdoe(proxy.portText()).status);
        requests = proxy.messagesSeen();
        removed = slapd.dump();
    }
    // Bind, 8 searches, 3 modifies, 4 deletes, unbind.
    ASSERT_EQ(17, requests);
    for (const DroppingProxy::Cut cut : kCuts) {
        for (int request = 1; request < requests; ++request) {
            Slapd slapd(kJdoeEntries);
            slapd.modify(kJdoeReferences);
            DroppingProxy proxy(slapd.port(), request, cut);
            const ProcessResult r = dropJdoe(proxy.portText());
            const std::string where = describeCut(cut, request, r);
            EXPECT_NE(0, r.status) << where;
            EXPECT_NE(std::string::npos, r.out.find("Can't contact LDAP server")) << where;
            EXPECT_EQ("", r.err) << where;

            const ProcessResult again = dropJdoe(slapd.portText());
            if (again.status != 0) {
                EXPECT_EQ(240, again.status) << where;
                EXPECT_EQ(requests - 1, request) << where;
            }
            EXPECT_EQ(removed, slapd.dump()) << where;
        }
    }
}

// newacct's requests cut likewise: never a success, the status of the step
// that lost the connection, and the user entry there exactly when its add
// reached the server.
TEST(DirectoryFaults, NewacctConnectionLostAtEachRequest) {
    int requests = 0;
    {
        Slapd slapd;
        DroppingProxy proxy(slapd.port(), 0, DroppingProxy::BeforeRequest);
        ASSERT_EQ(0, createJdoe(proxy.portText()).status);
        requests = proxy.messagesSeen();
    }
    // Bind, the uniqueness search, the uidNumber and ACI searches, the user
    // entry, the second look for rivals, its address book, the global address
    // book access, the contact, the class membership, unbind. A cut at the
    // second look leaves the entry (it cannot be taken back) and says so.
    ASSERT_EQ(11, requests);
    const int userEntry = 5;
    for (const DroppingProxy::Cut cut : kCuts) {
        for (int request = 1; request < requests; ++request) {
            Slapd slapd;
            DroppingProxy proxy(slapd.port(), request, cut);
            const ProcessResult r = createJdoe(proxy.portText());
            const std::string where = describeCut(cut, request, r);
            // A search that fails counts as a taken address (240); other
            // failures before the writes are bind or search failures (244).
            const int status = request == 2 ? 240 : request < userEntry ? 244 : 242;
            EXPECT_EQ(status, r.status) << where;
            if (request >= userEntry) {
                EXPECT_NE(std::string::npos, r.out.find("Can't contact LDAP server")) << where;
            }
            if (request == userEntry) {
                // The add's fate is unknown.
                EXPECT_NE(std::string::npos, r.out.find("uid=jdoe,o=site may have been written"))
                    << where;
            }
            EXPECT_EQ("", r.err) << where;
            const bool userAdded =
                request > userEntry || (request == userEntry && cut == DroppingProxy::BeforeReply);
            EXPECT_EQ(userAdded, slapd.exists("uid=jdoe,o=site")) << where;
        }
    }
}

}  // namespace
