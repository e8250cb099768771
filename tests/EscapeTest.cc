// Escaping of values in filters and DNs: hostile values are neutralised,
// ordinary names pass unchanged.
#include <gtest/gtest.h>

#include "common/Escape.h"

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
