// Escaping of values in filters, DNs and plan comments: hostile values are
// neutralised, ordinary names pass unchanged; DNs compare as the directory
// compares them.
#include <gtest/gtest.h>

#include <sstream>

#include "common/DistinguishedName.h"
#include "common/Escape.h"
#include "common/LdifWriter.h"

TEST(Escape, OrdinaryNamesAreUnchanged) {
    for (const char* name : {"jdoe", "j.doe-2_x", "Mueller"}) {
        EXPECT_EQ(name, escapeFilterValue(name));
        EXPECT_EQ(name, escapeDnValue(name));
    }
}

TEST(Escape, FilterSpecialsBecomeHexPairs) {
    EXPECT_EQ("\\2a", escapeFilterValue("*"));
    EXPECT_EQ("a\\29\\28uid=b", escapeFilterValue("a)(uid=b"));
    EXPECT_EQ("a\\5cb\\00", escapeFilterValue(std::string("a\\b\0", 4)));
}

TEST(Escape, DnSpecialsGetABackslash) {
    EXPECT_EQ("jdoe\\,ou\\=staff", escapeDnValue("jdoe,ou=staff"));
    EXPECT_EQ("\\ a b\\ ", escapeDnValue(" a b "));
    EXPECT_EQ("\\#x\\+y\\\"\\\\\\<\\>\\;", escapeDnValue("#x+y\"\\<>;"));
    EXPECT_EQ("a\\00\\0a", escapeDnValue(std::string("a\0\n", 3)));
}

// A name from a server in a plan comment cannot end the comment: what
// followed its line break would be applied as LDIF.
TEST(Escape, PlanCommentsStayOneLine) {
    std::ostringstream out;
    LdifWriter plan(out);
    plan.comment("imap:   with \"user.jdoe.a\r\ndn: uid=admin,o=site\nchangetype: delete\"");
    plan.publish();
    EXPECT_EQ("# imap:   with \"user.jdoe.a\\r\\ndn: uid=admin,o=site\\nchangetype: delete\"\n",
              out.str());
}

TEST(DistinguishedName, ComparedAsTheDirectoryComparesThem) {
    const struct {
        const char* a;
        const char* b;
        bool same;
    } cases[] = {
        {"uid=jdoe,o=site", "UID=JDoe, o = Site", true},
        {"cn=a\\,b,o=site", "cn=a\\2cb,o=site", true},
        {"cn=x+sn=y,o=site", "sn=y+cn=x,o=site", true},
        {"cn=a  b ,o=site", "cn=a b,o=site", true},
        {"uid=jdoe,o=site", "uid=jdoe,o=other", false},
        {"uid=jdoe,o=site", "uid=jdoe,ou=x,o=site", false},
        {"not a dn", "not a dn", true},
        {"not a dn", "NOT A DN", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.same, sameDN(c.a, c.b)) << c.a << " / " << c.b;
    }
}
