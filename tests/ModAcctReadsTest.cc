// The pieces of modacct's searches that work on values alone: filters in
// runs of at most 200 values, escaped, and the value of a DN's first RDN.
#include <gtest/gtest.h>

#include "modacct/AccountReads.h"

namespace {

TEST(ModAcctReads, FiltersInRunsOf200AndRdnValues) {
    std::vector<std::string> uids(450, "a");
    uids.front() = "x*)(uid=y";
    const std::vector<std::string> filters = orFilters("uid", uids);
    ASSERT_EQ(3u, filters.size());
    EXPECT_EQ(0u, filters[0].find("(|(uid=x\\2a\\29\\28uid=y)(uid=a)"));
    std::string last = "(|";
    for (int i = 0; i < 50; ++i)
        last += "(uid=a)";
    EXPECT_EQ(last + ")", filters[2]);
    EXPECT_TRUE(orFilters("uid", {}).empty());

    const struct {
        const char* dn;
        const char* type;
        const char* value;
    } rdns[] = {
        {"uid=jdoe,o=site", "uid", "jdoe"},
        {"UID=JDoe,o=site", "uid", "JDoe"},
        {"uid=jd\\2coe,o=site", "uid", "jd,oe"},
        {"uid=jd\\,oe,o=site", "uid", "jd,oe"},
        {"cn=7a,o=site", "uid", ""},
        {"uid=a+cn=b,o=site", "uid", "a"},
        {"cn=7a", "cn", "7a"},
        {"uid=x\\", "uid", "x\\"},
    };
    for (const auto& rdn : rdns)
        EXPECT_EQ(rdn.value, rdnValue(rdn.dn, rdn.type)) << rdn.dn;
}

}  // namespace
