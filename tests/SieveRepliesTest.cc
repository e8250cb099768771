// The Sieve response and listing readers, fed with bytes alone.
#include <gtest/gtest.h>

#include "sieve/SieveReplies.h"

namespace {

std::pair<int, std::string> response(const std::string& bytes) {
    BufferLineSource source(bytes);
    std::string message;
    const int result = readSieveResponse(source, message, ReplyWaits());
    return {result, message};
}

TEST(SieveReader, OkAndNoAnywhereInALine) {
    EXPECT_EQ(std::make_pair(0, std::string("OK")),
              response("\"IMPLEMENTATION\" \"Cyrus\"\r\n\"SASL\" \"PLAIN\"\r\nOK\r\n"));
    EXPECT_EQ(std::make_pair(0, std::string("OK")), response("OK \"Logout Complete\"\r\n"));
    EXPECT_EQ(std::make_pair(-1, std::string("NO Authentication Error")),
              response("NO \"Authentication Error\"\r\n"));
    EXPECT_EQ(std::make_pair(-1, std::string("NO Authentication Error")),
              response("NO Authentication Error\r\n"));
    EXPECT_EQ(std::make_pair(-1, std::string("NO (ACTIVE) \"Active script cannot be deleted\"")),
              response("NO (ACTIVE) \"Active script cannot be deleted\"\r\n"));
    EXPECT_EQ(std::make_pair(-1, std::string("NO")), response("NO\r\n"));
    // Quoting is not looked at: an OK word inside quotes ends the response,
    // a quoted "OK" does not.
    EXPECT_EQ(std::make_pair(0, std::string("OK")), response("\"all OK here\"\n"));
    EXPECT_EQ(std::make_pair(-4, std::string("connection timed out")), response(""));
    EXPECT_EQ(std::make_pair(-3, std::string("connection timed out")), response("\"OK\"\n"));
}

TEST(SieveReader, LiteralReasonIsLeftUnread) {
    BufferLineSource source("NO {20}\r\nreason on next line\r\nOK\r\n");
    std::string message;
    EXPECT_EQ(-1, readSieveResponse(source, message, ReplyWaits()));
    EXPECT_EQ("NO {20}", message);
    // The literal's text is read as the next response's first line.
    EXPECT_EQ(0, readSieveResponse(source, message, ReplyWaits()));
}

TEST(SieveReader, EmptyLineIsASocketError) {
    EXPECT_EQ(std::make_pair(-6, std::string("Socket Error")), response("\n"));
}

struct Listing {
    int result;
    std::list<std::string> scripts;
    std::string active = "unchanged";
    std::string message;
};

Listing listing(const std::string& bytes) {
    BufferLineSource source(bytes);
    Listing l;
    l.result = readSieveListResponse(source, l.scripts, l.active, l.message, ReplyWaits());
    return l;
}

TEST(SieveListing, NamesAndTheActiveOne) {
    Listing l = listing("\"a\"\r\n\"b\" ACTIVE\r\nOK\r\n");
    EXPECT_EQ(0, l.result);
    EXPECT_EQ((std::list<std::string>{"a", "b"}), l.scripts);
    EXPECT_EQ("b", l.active);

    l = listing("OK\r\n");
    EXPECT_TRUE(l.scripts.empty());
    EXPECT_EQ("unchanged", l.active);

    EXPECT_EQ("", listing("ACTIVE\r\nOK\r\n").active);
}

TEST(SieveListing, UnplaceableTokensAreParseErrors) {
    for (const char* bytes : {"\"a\"\r\n\"my script\"\r\nOK\r\n", "{4}\r\nabcd\r\nOK\r\n"}) {
        Listing l = listing(bytes);
        EXPECT_EQ(-5, l.result) << bytes;
        EXPECT_EQ("Error parsing LISTSCRIPTS response", l.message);
    }
    EXPECT_EQ(std::list<std::string>{"a"}, listing("\"a\"\r\n\"my script\"\r\nOK\r\n").scripts);
    EXPECT_EQ(-1, listing("NO \"not authenticated\"\r\n").result);
}

}  // namespace
