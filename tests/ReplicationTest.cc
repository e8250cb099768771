// Both programs against one provider of a replicated pair: what one writes
// or removes reaches the other, and the two trees end identical, entryUUIDs
// included. A read-only consumer's referral is reported, not followed.
#include <gtest/gtest.h>

#include "tests/support/Process.h"
#include "tests/support/Replicas.h"

namespace {

ProcessResult create(const std::string& port, const std::string& uid) {
    return runProcess(NEWACCT_BIN,
                      {"-H",     "127.0.0.1", "-P",     port,      "-bDN",
                       "o=site", "-al",       "admin",  "-ap",     "secret",
                       "-uid",   uid,         "-sn",    "S",       "-up",
                       "pw",     "-o",        "O",      "-c",      "DE",
                       "-class", "users",     "-alias", uid + "2", "-writeglobaladdress",
                       "allowed"});
}

ProcessResult drop(const std::string& port, const std::string& uid) {
    return runProcess(DROPACCT_BIN, {"-ldap", "-LH", "127.0.0.1", "-LP", port, "-bDN", "o=site",
                                     "-al", "admin", "-ap", "secret", "-uid", uid});
}

TEST(Replication, CreatedOnOneProviderRemovedOnTheOther) {
    ProviderPair pair;
    ASSERT_EQ(0, create(pair.a().portText(), "jdoe").status);
    ASSERT_TRUE(pair.converge());
    EXPECT_TRUE(pair.b().exists("uid=jdoe,o=site"));
    const ProcessResult removed = drop(pair.b().portText(), "jdoe");
    ASSERT_EQ(0, removed.status) << removed.out;
    ASSERT_TRUE(pair.converge());
    // The contact card stays by design; nothing else names jdoe.
    const std::string filter =
        "(|(uid=jdoe)(memberUid=jdoe)(member=uid=jdoe,o=site)(alias=jdoe2)(ou=addr))";
    EXPECT_EQ(std::vector<std::string>{}, pair.a().holders(filter));
    EXPECT_EQ(std::vector<std::string>{}, pair.b().holders(filter));
}

TEST(Replication, AConsumerNamesItsProvider) {
    ProviderPair pair;
    ASSERT_EQ(0, create(pair.a().portText(), "jdoe").status);
    const std::string consumer = std::to_string(pair.startConsumer());
    const std::string referral = "Referral to ldap://127.0.0.1:" + pair.a().portText() +
                                 " (this server takes no writes; run against that one)";
    ProcessResult r = drop(consumer, "jdoe");
    EXPECT_EQ(242, r.status);
    EXPECT_EQ("failed to remove user from ldap groups: " + referral + "\n", r.out);
    r = create(consumer, "jroe");
    EXPECT_EQ(242, r.status);
    EXPECT_EQ("failed to add entry: " + referral + "\n", r.out);
    EXPECT_TRUE(pair.a().exists("uid=jdoe,o=site"));
}

}  // namespace
