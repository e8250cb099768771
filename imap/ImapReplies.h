// Readers of IMAP server replies, apart from any socket: the tagged-reply
// reader over a LineSource and the parsers of NAMESPACE and GETACL lines.
// Tests and fuzz targets drive them with plain bytes.
#pragma once

#include <list>
#include <set>
#include <string>

#include "imap/ImapRecords.h"
#include "wire/LineSource.h"

// Reply reader results.
enum ImapResult {
    kImapContinue = 1,
    kImapOk = 0,
    kImapNo = -1,
    kImapBad = -2,
    kImapLineTimeout = -3,
    kImapFirstTimeout = -4,
    kImapConnectionLost = -5,
    kImapSocketError = -6,
};

// Reads one line of a response with the literals it carries: a line that
// ends in "{N}" (a CR may follow) goes on with N raw bytes and then the next
// line, as often as it ends so. `line` gets the bytes as they came, the
// LFs within included, without the final LF: "* ACL m {4}\r\na bc lr\r".
// 0, or the reader's failure.
int readImapLine(ReplyLineReader& reader, std::string& line);

// Reads lines until the completion tagged `tag` or a continuation request.
// Untagged lines are appended to `untagged` when it is not null; lines of
// any other form are passed over. Sets `response` to the status word and
// the rest of the line ("OK ...", "+ ...") or to a local reason.
int readImapResponse(LineSource& source, const std::string& tag, std::string& response,
                     std::list<std::string>* untagged, const ReplyWaits& waits);

// Adds the groups of the untagged NAMESPACE lines to `set`. Raises
// IMAPException "namespace failed: Serverresponse: <tagged response>" for a
// line that is not a NAMESPACE reply or whose groups are not closed.
void parseNamespaceLines(const std::list<std::string>& lines, const std::string& taggedResponse,
                         IMAPNamespaceSet& set);

// The astring at `pos` of a line as readImapLine gives it: an atom (up to a
// blank, CR or LF), a quoted string (escapes undone) or a literal. Sets
// `pos` past it; false, with `pos` unchanged, when there is none.
bool readAstring(const std::string& line, size_t& pos, std::string& value);

// The mailbox an untagged ACL line names; false for a line that is no ACL
// reply or names no mailbox. `end`, when given, is set to the offset just
// past the name.
bool aclLineMailbox(const std::string& line, std::string& name, size_t* end = nullptr);

// The entries of the untagged ACL lines for `mailbox`: identifiers and
// rights as atoms, quoted strings or literals. Raises IMAPException
// "getacl failed: Serverresponse: Error parsing ACL response" for a
// malformed line or one for another mailbox.
std::list<IMAPAcl> parseAclLines(const std::list<std::string>& lines, const std::string& mailbox);

// The capabilities a server names in a "[CAPABILITY ...]" response code (a
// greeting sends one), upper-cased. `known` is false when the line has none.
struct ImapCapabilities {
    bool known = false;
    std::set<std::string> names;
    bool has(const std::string& name) const { return names.count(name) > 0; }
};
ImapCapabilities parseCapabilityCode(const std::string& line);

// The text of the whole quoted string `quoted` ("a\\b" gives a\b); false
// when it is not exactly one well-formed quoted string.
bool unquoteImapString(const std::string& quoted, std::string& text);
