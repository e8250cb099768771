// The Sieve response and listing readers, fed with bytes alone.
#include <gtest/gtest.h>

#include <vector>

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
    std::list<ListedScript> scripts;
    std::string active = "unchanged";
    std::string message;
    // Each name, and its verbatim reading after a '|' when it has one.
    std::vector<std::string> names() const {
        std::vector<std::string> texts;
        for (const ListedScript& script : scripts) {
            texts.push_back(script.name + (script.verbatim.empty() ? "" : "|" + script.verbatim));
        }
        return texts;
    }
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
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), l.names());
    EXPECT_EQ("b", l.active);

    l = listing("OK\r\n");
    EXPECT_TRUE(l.scripts.empty());
    EXPECT_EQ("unchanged", l.active);

    EXPECT_EQ("", listing("ACTIVE\r\nOK\r\n").active);
}

// Each name is one ManageSieve string, whatever it holds: quoted with its
// escapes undone, or a literal; a name written between quotes unescaped
// (as Cyrus 3.6 writes them) is taken between the line's first and last
// quote, and a quoted name holding a backslash keeps the verbatim reading.
TEST(SieveListing, NamesAreManageSieveStrings) {
    const struct {
        std::string bytes;
        std::vector<std::string> names;
        std::string active;
    } cases[] = {
        {"\"my filter\"\r\n\"my OK filter\" ACTIVE\r\n\"q\\\"uote\"\r\n\"back\\\\slash\"\r\nOK\r\n",
         {"my filter", "my OK filter", "q\"uote|q\\\"uote", "back\\slash|back\\\\slash"},
         "my OK filter"},
        {"{9}\r\nmy filter\r\n{4+}\r\na\nbc ACTIVE\r\n{3}\r\nx\"\r\r\nOK\r\n",
         {"my filter", "a\nbc", "x\"\r"},
         "a\nbc"},
        {"\"q\"uote\"\r\n\"x\" ACTIVE\" ACTIVE\r\n\"back\\slash\"\r\n\"\" ACTIVE\"\r\nOK\r\n",
         {"q\"uote", "x\" ACTIVE", "back\\slash", "\" ACTIVE"},
         "x\" ACTIVE"},
    };
    for (const auto& c : cases) {
        const Listing l = listing(c.bytes);
        EXPECT_EQ(0, l.result) << c.bytes << ": " << l.message;
        EXPECT_EQ(c.names, l.names()) << c.bytes;
        EXPECT_EQ(c.active, l.active) << c.bytes;
    }
}

TEST(SieveListing, LinesNamingNoScriptAreParseErrors) {
    for (const char* bytes : {"\"a\"\r\n\"unclosed\r\nOK\r\n", "\"a\"\r\n\"b\" extra\r\nOK\r\n",
                              "\"a\"\r\n{4}\r\nabcd extra\r\nOK\r\n", "\"a\"\r\n{x}\r\nOK\r\n",
                              "\"a\"\r\nfoo\r\nOK\r\n"}) {
        Listing l = listing(bytes);
        EXPECT_EQ(-5, l.result) << bytes;
        EXPECT_EQ("Error parsing LISTSCRIPTS response", l.message);
        EXPECT_EQ(std::vector<std::string>{"a"}, l.names()) << bytes;
    }
    EXPECT_EQ(-1, listing("NO \"not authenticated\"\r\n").result);
}

}  // namespace
