// The made-up password's alphabet and draw, without chance: the alphabet
// read directly, the draw fed every byte value in turn.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <string>

#include "account/Passwords.h"

namespace {

const std::string kAlphabet = kPasswordAlphabet;

TEST(Passwords, AlphabetHasNoLookAlikes) {
    for (const char lookAlike : std::string("0O1lI")) {
        EXPECT_EQ(std::string::npos, kAlphabet.find(lookAlike)) << lookAlike;
    }
    for (size_t i = 0; i < kAlphabet.size(); ++i) {
        const char c = kAlphabet[i];
        EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c))) << c;
        // A character listed twice would come out twice as often.
        EXPECT_EQ(i, kAlphabet.find(c)) << c;
    }
}

// Bytes 0, 1, ..., 255, 0, 1, ... in turn: a draw that takes each byte
// value equally often must give each character of the alphabet equally
// often, within one for a draw that ends inside a round.
TEST(Passwords, EveryByteValueInTurnCoversTheAlphabetEvenly) {
    unsigned char next = 0;
    const auto inTurn = [&next] { return next++; };
    std::map<char, size_t> counts;
    for (int i = 0; i < 100; ++i) {
        const std::string password = makePassword(inTurn);
        ASSERT_EQ(kMadePasswordLength, password.size());
        for (const char c : password) {
            ASSERT_NE(std::string::npos, kAlphabet.find(c)) << c;
            ++counts[c];
        }
    }
    ASSERT_EQ(kAlphabet.size(), counts.size());
    size_t fewest = counts.begin()->second;
    size_t most = fewest;
    for (const auto& count : counts) {
        fewest = std::min(fewest, count.second);
        most = std::max(most, count.second);
    }
    EXPECT_LE(most - fewest, 1u);
}

}  // namespace
