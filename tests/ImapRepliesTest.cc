// The IMAP reply reader and the NAMESPACE, LIST and GETACL parsers, fed with
// bytes alone.
#include <gtest/gtest.h>

#include "imap/IMAPException.h"
#include "imap/IMAPSimple.h"
#include "imap/ImapReplies.h"

namespace {

struct Read {
    int result;
    std::string response;
    std::list<std::string> untagged;
};

Read readReply(const std::string& bytes, const std::string& tag = "L1") {
    BufferLineSource source(bytes);
    Read r;
    r.result = readImapResponse(source, tag, r.response, &r.untagged, ReplyWaits());
    return r;
}

TEST(ImapReader, TaggedStatusesAndContinuation) {
    Read r = readReply("* OK greeting\r\nL1 OK done\r\n");
    EXPECT_EQ(kImapOk, r.result);
    EXPECT_EQ("OK done\r", r.response);  // the CR stays
    EXPECT_EQ(std::list<std::string>{"* OK greeting\r"}, r.untagged);

    EXPECT_EQ(kImapNo, readReply("L1 NO Login failed: authentication failure\r\n").result);
    EXPECT_EQ("NO Login failed: authentication failure\r",
              readReply("L1 NO Login failed: authentication failure\r\n").response);
    EXPECT_EQ(kImapBad, readReply("L1 BAD syntax\n").result);

    r = readReply("+ \r\n");
    EXPECT_EQ(kImapContinue, r.result);
    EXPECT_EQ("+ \r", r.response);
}

TEST(ImapReader, PassesOverOtherTagsAndLowerCaseStatus) {
    Read r = readReply("L10 OK other\nL1 ok lower\nX1 BAD elsewhere\nL1 NO real\n");
    EXPECT_EQ(kImapNo, r.result);
    EXPECT_EQ("NO real", r.response);
    EXPECT_TRUE(r.untagged.empty());
}

TEST(ImapReader, TokensAtTheEndOfTheLineGiveEmptyText) {
    EXPECT_EQ("OK ", readReply("L1 OK\n").response);
    EXPECT_EQ("+ ", readReply("+\n").response);
    // A tag that ends its line decides nothing.
    EXPECT_EQ("OK x", readReply("L1\nL1 OK x\n").response);
}

TEST(ImapReader, LocalFailures) {
    Read r = readReply("");
    EXPECT_EQ(kImapFirstTimeout, r.result);
    EXPECT_EQ("connection timed out", r.response);
    EXPECT_EQ(kImapLineTimeout, readReply("* partial\n").result);
    EXPECT_EQ(kImapLineTimeout, readReply("L1 OK without line end").result);
    r = readReply("\n");
    EXPECT_EQ(kImapSocketError, r.result);
    EXPECT_EQ("Socket error", r.response);
}

TEST(ImapEscape, BackslashesFirstThenQuotes) {
    EXPECT_EQ("", IMAPSimple::escapeString(""));
    EXPECT_EQ("plain", IMAPSimple::escapeString("plain"));
    EXPECT_EQ("a\\\"b\\\\c", IMAPSimple::escapeString("a\"b\\c"));
}

IMAPNamespaceSet parseNamespace(const std::string& line) {
    IMAPNamespaceSet set;
    parseNamespaceLines({line}, "OK Completed", set);
    return set;
}

TEST(ImapNamespace, GroupsAndNil) {
    IMAPNamespaceSet set =
        parseNamespace("* NAMESPACE ((\"INBOX.\" \".\")) ((\"user.\" \".\")) ((\"\" \".\"))\r");
    ASSERT_EQ(1u, set.otherUsers.size());
    EXPECT_EQ("INBOX.", set.personal[0].prefix);
    EXPECT_EQ("user.", set.otherUsers[0].prefix);
    EXPECT_EQ(".", set.otherUsers[0].delimiter);
    EXPECT_FALSE(set.otherUsers[0].isNil);
    EXPECT_EQ("", set.shared[0].prefix);

    // What Cyrus sends to an administrator.
    set = parseNamespace("* NAMESPACE NIL ((\"user.\" \".\")) ((\"\" \".\"))\r");
    EXPECT_TRUE(set.personal[0].isNil);
    EXPECT_EQ("user.", set.otherUsers[0].prefix);

    set = parseNamespace("* namespace nil Nil ((\"\" \"/\")(\"Shared/\" \"/\"))");
    EXPECT_TRUE(set.otherUsers[0].isNil);
    ASSERT_EQ(2u, set.shared.size());
    EXPECT_EQ("Shared/", set.shared[1].prefix);
    EXPECT_EQ("/", set.shared[1].delimiter);

    set = parseNamespace("* NAMESPACE ((\"\" NIL)) NIL NIL");
    EXPECT_EQ("", set.personal[0].delimiter);
}

TEST(ImapNamespace, MalformedRepliesFailWithTheTaggedResponse) {
    for (const char* line :
         {"* OK [ALERT] hello", "* NAMESPACE ((\"user.\" \".\")", "* NAMESPACE ((\"user.\" \".\"",
          "* NAMESPACE ((\"user.))", "* NAMESPACE (("}) {
        try {
            parseNamespace(line);
            ADD_FAILURE() << line;
        } catch (const IMAPException& e) {
            EXPECT_EQ("namespace failed: Serverresponse: OK Completed", e.message) << line;
        }
    }
}

TEST(ImapList, QuotedAndAtomNames) {
    IMAPFolder folder("", '.');
    folder.parseListResponse("* LIST (\\HasChildren) \".\" user.jdoe\r");
    EXPECT_EQ("user.jdoe", folder.name);
    EXPECT_EQ('.', folder.delimiter);
    folder.parseListResponse("* LSUB () \"/\" \"shared two\"\r");
    EXPECT_EQ("shared two", folder.name);
    EXPECT_EQ('/', folder.delimiter);
    folder.parseListResponse("* LIST (\\Noselect) NIL flat");
    EXPECT_EQ('\0', folder.delimiter);
}

TEST(ImapList, MalformedLinesNameTheirFault) {
    const std::pair<const char*, const char*> cases[] = {
        {"+ LIST () \".\" x", "no untagged Repsonse: "},
        {"* FLAGS () \".\" x", "no LIST/LSUB Repsonse: "},
        {"* LIST () \".\" {5}\r", "error parsing LIST/LSUB Response: "},
        {"* LIST () \"..\" x", "error parsing LIST/LSUB Response: "},
        {"* LIST (\\HasChildren", "error parsing LIST/LSUB Response: "},
        {"* LIST () \".\"", "error parsing LIST/LSUB Response: "},
        {"* LIST () \".\" \"open", "error parsing LIST/LSUB Response: "},
    };
    for (const auto& c : cases) {
        IMAPFolder folder("", '.');
        try {
            folder.parseListResponse(c.first);
            ADD_FAILURE() << c.first;
        } catch (const IMAPException& e) {
            EXPECT_EQ(std::string(c.second) + c.first, e.message);
        }
    }
}

TEST(ImapAcl, QuotedAndUnquotedMailboxes) {
    std::list<IMAPAcl> acls = parseAclLines({"* ACL shared1 anyone lrs jdoe lrs\r"}, "shared1");
    ASSERT_EQ(2u, acls.size());
    EXPECT_EQ("jdoe", acls.back().identifier);
    EXPECT_EQ("lrs", acls.back().rights);

    acls = parseAclLines({"* ACL \"shared two\" anyone lrs jdoe lrswipkxtecda\r"}, "shared two");
    ASSERT_EQ(2u, acls.size());
    EXPECT_EQ("anyone", acls.front().identifier);
    EXPECT_EQ("lrswipkxtecda", acls.back().rights);

    EXPECT_TRUE(parseAclLines({"* ACL empty\r"}, "empty").empty());
}

// Identifiers and rights as IMAP allows them: atoms, quoted strings and
// literals, which the reader hands over whole with their bytes; no entry
// after an unusual one is lost.
TEST(ImapAcl, IdentifiersAsAtomsQuotedStringsOrLiterals) {
    const std::string literal = "group:staff\r\nroom";
    const struct {
        std::string bytes;
        std::string first;
    } cases[] = {
        {"* ACL shared.x \"group:staff room\" lrs jdoe lrs\r\nA1 OK\r\n", "group:staff room"},
        {"* ACL shared.x \"a\\\"b\" lrs  jdoe lrs \r\nA1 OK\r\n", "a\"b"},
        {"* ACL shared.x {" + std::to_string(literal.size()) + "}\r\n" + literal +
             " lrs jdoe lrs\r\nA1 OK\r\n",
         literal},
        {"* ACL {8}\r\nshared.x {4}\r\nsome lrs jdoe {3}\r\nlrs\r\nA1 OK\r\n", "some"},
    };
    for (const auto& c : cases) {
        const Read r = readReply(c.bytes, "A1");
        ASSERT_EQ(kImapOk, r.result) << c.bytes;
        const std::list<IMAPAcl> acls = parseAclLines(r.untagged, "shared.x");
        ASSERT_EQ(2u, acls.size()) << c.bytes;
        EXPECT_EQ(c.first, acls.front().identifier);
        EXPECT_EQ("jdoe", acls.back().identifier);
        EXPECT_EQ("lrs", acls.back().rights);
    }
}

// A literal's bytes come raw: a line end inside one is data, and the reply
// ends only with the tagged line after it.
TEST(ImapReader, LiteralsStayInsideTheirLine) {
    Read r = readReply("* LIST () \".\" {7}\r\nA1 OK x\r\nA1 OK done\r\n", "A1");
    EXPECT_EQ("OK done\r", r.response);
    ASSERT_EQ(1u, r.untagged.size());
    IMAPFolder folder("", '.');
    folder.parseListResponse(r.untagged.front());
    EXPECT_EQ("A1 OK x", folder.name);
    // Bytes that stop short of the count are a silent server.
    EXPECT_EQ(kImapLineTimeout, readReply("* ACL m {9}\r\nshort\r\n", "A1").result);
}

// An escaped quote must not end the quoted name, and an escaped backslash
// must not escape the closing quote.
TEST(ImapAcl, EscapesInAQuotedMailboxName) {
    const std::string line = "* ACL \"say \\\"hi\\\" c:\\\\\" jdoe lrs\r";
    std::string name;
    size_t end = 0;
    ASSERT_TRUE(aclLineMailbox(line, name, &end));
    EXPECT_EQ("say \"hi\" c:\\", name);
    EXPECT_EQ(line.find(" jdoe"), end);

    const std::list<IMAPAcl> acls = parseAclLines({line}, name);
    ASSERT_EQ(1u, acls.size());
    EXPECT_EQ("jdoe", acls.front().identifier);
    EXPECT_EQ("lrs", acls.front().rights);
}

TEST(ImapAcl, ForeignOrMalformedLinesFail) {
    for (const char* line :
         {"* ACL other anyone lrs", "* ACL shared1 jdoe", "* MYRIGHTS shared1 l", "*", "* ACL",
          "* ACL shared1 \"open lrs", "* ACL shared1 {9}\r\nshort"}) {
        EXPECT_THROW(parseAclLines({line}, "shared1"), IMAPException) << line;
    }
}

}  // namespace
