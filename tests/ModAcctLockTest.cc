// What -lock stops and -unlock gives back: the bind with the directory, and
// with it the IMAP login on a Cyrus that checks passwords against the
// directory (saslauthd's ldap mechanism, as a school server is set up).
#include <gtest/gtest.h>

#include <ctime>

#include "tests/support/AccountRuns.h"
#include "tests/support/Cyrus.h"

namespace {

TEST(ModAcctLock, StopsTheBindAndTheImapLoginUntilUnlocked) {
    const Slapd slapd{"", "", Slapd::kMonitorDatabase};
    const Cyrus cyrus(slapd);
    const std::string dn = "uid=jdoe,o=site";
    const auto modacct = [&slapd](const std::vector<std::string>& args) {
        return runModacct(joined(adminArgs(slapd), args));
    };
    ASSERT_EQ(0, runNewacct(joined(adminArgs(slapd), {"-uid", "jdoe", "-sn", "Doe", "-up",
                                                      "Tr0mbone-Sky", "-o", "O", "-c", "DE"}))
                     .status);
    ASSERT_TRUE(slapd.binds(dn, "Tr0mbone-Sky"));
    ASSERT_TRUE(cyrus.userLogin("jdoe", "Tr0mbone-Sky"));

    ProcessResult r = modacct({"-uid", "jdoe", "-lock"});
    ASSERT_EQ(0, r.status) << r.out;
    EXPECT_FALSE(slapd.binds(dn, "Tr0mbone-Sky"));
    EXPECT_FALSE(cyrus.userLogin("jdoe", "Tr0mbone-Sky"));
    EntryValues locked = entryValues(slapd, dn);
    EXPECT_EQ(std::set<std::string>{": " + std::to_string(std::time(nullptr) / 86400)},
              locked["shadowExpire"]);
    EXPECT_EQ(std::set<std::string>{": I"}, locked["phpgwAccountStatus"]);
    // Locked already: nothing to write.
    const long writes = slapd.writesDone();
    EXPECT_EQ(0, modacct({"-uid", "jdoe", "-lock"}).status);
    EXPECT_EQ(writes, slapd.writesDone());

    r = modacct({"-uid", "jdoe", "-unlock"});
    ASSERT_EQ(0, r.status) << r.out;
    EXPECT_TRUE(slapd.binds(dn, "Tr0mbone-Sky"));
    EXPECT_TRUE(cyrus.userLogin("jdoe", "Tr0mbone-Sky"));
    EntryValues unlocked = entryValues(slapd, dn);
    EXPECT_EQ(0u, unlocked.count("shadowExpire"));
    EXPECT_EQ(std::set<std::string>{": A"}, unlocked["phpgwAccountStatus"]);
}

// A password changed while locked stays locked; a password stored in clear
// is hashed by the lock, so that no password, "!" and the old one included,
// opens the account until it is unlocked.
TEST(ModAcctLock, NewPasswordsAndPasswordsInClearStayLocked) {
    const Slapd slapd;
    const auto modacct = [&slapd](const std::vector<std::string>& args) {
        return runModacct(joined(adminArgs(slapd), args)).status;
    };
    const std::string alice = "uid=alice,o=site";  // "alicepw" in clear
    ASSERT_TRUE(slapd.binds(alice, "alicepw"));
    ASSERT_EQ(0, modacct({"-uid", "alice", "-lock"}));
    EXPECT_FALSE(slapd.binds(alice, "alicepw"));
    EXPECT_FALSE(slapd.binds(alice, "!alicepw"));
    ASSERT_EQ(0, modacct({"-uid", "alice", "-unlock"}));
    EXPECT_TRUE(slapd.binds(alice, "alicepw"));
    ASSERT_EQ(0, modacct({"-uid", "alice", "-lock"}));
    ASSERT_EQ(0, modacct({"-uid", "alice", "-up", "Fresh-Pw-2"}));
    EXPECT_FALSE(slapd.binds(alice, "Fresh-Pw-2"));
    ASSERT_EQ(0, modacct({"-uid", "alice", "-unlock"}));
    EXPECT_TRUE(slapd.binds(alice, "Fresh-Pw-2"));
}

}  // namespace
