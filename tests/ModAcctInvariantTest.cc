// What modacct leaves equals what newacct writes: an account created with
// values A and then changed to values B holds the same user entry, contact
// card and class memberships as one created with B, but for the password
// hash and the day of the change.
#include <gtest/gtest.h>

#include "tests/support/AccountRuns.h"

namespace {

struct Case {
    const char* groupware;
    std::vector<std::string> a;
    std::vector<std::string> b;
};

TEST(ModAcctInvariant, NewacctWithAThenModacctToBIsNewacctWithB) {
    const Case cases[] = {
        {"all",
         {"-sn", "Doe", "-givenname", "John", "-mail", "inv1@example.org", "-alias", "inv1a",
          "-class", "users"},
         {"-sn", "Smith", "-givenname", "Jon", "-mail", "jon.smith@example.org", "-alias", "inv1b",
          "-alias", "inv1c", "-class", "staff", "-class", "audio", "-title", "Teacher"}},
        {"plendar",
         {"-sn", "Doe", "-class", "users", "-class", "staff", "-ou", "Music"},
         {"-sn", "Doe", "-class", "audio", "-ou", "Art", "-title", "Head", "-title", "Music",
          "-street", "Main Street 1\nBuilding B", "-o", "Other School"}},
        {"phpgw",
         {"-sn",
          "Kov\xc3\xa1"
          "cs",
          "-givenname", "Anna", "-mail", "inv3@example.org", "-ou", "X", "-class", "users"},
         {"-sn",
          "Kov\xc3\xa1"
          "cs",
          "-givenname", "Anna", "-c", "HU", "-mail", "anna@example.org", "-ou", "Y", "-class",
          "users", "-telephonenumber", "+49 30 1"}},
        {"all",
         {"-sn", "Doe", "-alias", "inv4a"},
         {"-sn",        "Doe",         "-faxdid",         "99",           "-homedirectory",
          "/srv/inv4",  "-loginshell", "/bin/bash",       "-mailenabled", "local_only",
          "-shadowmax", "90",          "-dointernetconn", "on",           "-alias",
          "inv4a",      "-alias",      "inv4b",           "-class",       "users"}},
    };
    const Slapd changed, created;
    const std::vector<std::string> required{"-up", "pw", "-o", "Acme", "-c", "DE"};
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        const std::string uid = "inv" + std::to_string(i + 1);
        const auto creation = [&](const Slapd& slapd, const std::vector<std::string>& values) {
            return joined(joined(adminArgs(slapd), required),
                          joined({"-uid", uid, "-groupware", c.groupware}, values));
        };
        ASSERT_EQ(0, runNewacct(creation(changed, c.a)).status) << uid;
        const ProcessResult change =
            runModacct(joined(joined(adminArgs(changed), {"-uid", uid, "-up", "pw2"}), c.b));
        ASSERT_EQ(0, change.status) << uid << ": " << change.out;
        ASSERT_EQ(0, runNewacct(creation(created, c.b)).status) << uid;

        for (const std::string& dn :
             {"uid=" + uid + ",o=site", "uid=" + uid + ":system,o=AddressBook,o=site"}) {
            const std::set<std::string> timestamps{"userPassword", "shadowLastChange"};
            EXPECT_EQ(shown(entryValues(created, dn, timestamps)),
                      shown(entryValues(changed, dn, timestamps)))
                << dn;
        }
        EXPECT_EQ(created.holders("(memberUid=" + uid + ")"),
                  changed.holders("(memberUid=" + uid + ")"))
            << uid;
        EXPECT_TRUE(changed.binds("uid=" + uid + ",o=site", "pw2")) << uid;
    }
}

}  // namespace
