// What a lock in the password value stops: a "!" right after the {crypt}
// tag makes slapd refuse the user's bind, and with it the IMAP login on a
// Cyrus that checks passwords against the directory (saslauthd -a ldap, as
// a school server is set up); taking the "!" out lets the old password in
// again on both.
#include <gtest/gtest.h>

#include "account/Passwords.h"
#include "tests/support/Cyrus.h"
#include "tests/support/Slapd.h"

namespace {

const std::string kDn = "uid=jdoe,o=site";
const std::string kPassword = "Tr0mbone-Sky";

std::string entry(const std::string& hash) {
    return "dn: " + kDn +
           "\nobjectClass: account\nobjectClass: simpleSecurityObject\nuid: jdoe\n"
           "userPassword: " +
           hash + "\n";
}

std::string replacePassword(const std::string& value) {
    return "dn: " + kDn + "\nchangetype: modify\nreplace: userPassword\nuserPassword: " + value +
           "\n";
}

TEST(PasswordLock, StopsTheBindAndTheImapLoginUntilItIsTakenOut) {
    const std::string hash = hashPassword(kPassword);
    const std::string tag = "{crypt}";
    ASSERT_EQ(0u, hash.rfind(tag, 0));
    const Slapd slapd(entry(hash));
    const Cyrus cyrus(slapd);

    // jdoe has no mailbox: LOGIN needs none.
    EXPECT_TRUE(slapd.binds(kDn, kPassword));
    EXPECT_TRUE(cyrus.userLogin("jdoe", kPassword));
    EXPECT_FALSE(cyrus.userLogin("jdoe", kPassword + "x"));
    EXPECT_TRUE(cyrus.userLogin("admin", "secret"));  // the directory's admin

    slapd.modify(replacePassword(tag + "!" + hash.substr(tag.size())));
    EXPECT_FALSE(slapd.binds(kDn, kPassword));
    // Right after a successful one: nothing may be cached.
    EXPECT_FALSE(cyrus.userLogin("jdoe", kPassword));

    slapd.modify(replacePassword(hash));
    EXPECT_TRUE(slapd.binds(kDn, kPassword));
    EXPECT_TRUE(cyrus.userLogin("jdoe", kPassword));
}

}  // namespace
