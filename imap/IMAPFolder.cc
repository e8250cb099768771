// Parsing of one untagged LIST or LSUB line.
#include "imap/IMAPException.h"
#include "imap/ImapRecords.h"
#include "imap/ImapReplies.h"
#include "wire/LineTokenizer.h"

namespace {

// An IMAP atom as a mailbox name (astring): servers send ordinary names
// unquoted. Literals ("{n}") and anything with specials are not atoms.
bool isAtom(const std::string& text) {
    if (text.empty()) {
        return false;
    }
    for (unsigned char c : text) {
        if (c <= 0x20 || c == 0x7f || c == '(' || c == ')' || c == '{' || c == '"' || c == '\\' ||
            c == '%' || c == '*') {
            return false;
        }
    }
    return true;
}

}  // namespace

void IMAPFolder::parseListResponse(const std::string& line) {
    LineTokenizer tokens(line, LineTokenizer::kSpace);
    std::string token;
    if (!tokens.next(token) || token != "*") {
        throw IMAPException("no untagged Repsonse: " + line);
    }
    if (!tokens.next(token) || (token != "LIST" && token != "LSUB")) {
        throw IMAPException("no LIST/LSUB Repsonse: " + line);
    }
    const IMAPException parseError("error parsing LIST/LSUB Response: " + line);
    tokens.setDelimiters(")");
    if (!tokens.next(token) || tokens.lastDelimiter() != ')') {
        throw parseError;  // the attribute list is not closed
    }
    tokens.setDelimiters(LineTokenizer::kSpace);
    std::string delimiterField;
    if (!tokens.next(token) || !tokens.next(delimiterField) || delimiterField.size() != 3) {
        throw parseError;
    }
    const bool flat = delimiterField == "NIL" || delimiterField == "nil" || delimiterField == "Nil";
    // The name: an atom, a quoted string or a literal, and nothing after it.
    const std::string rest = tokens.rest();
    size_t end = 0;
    if (rest.empty() || !readAstring(rest, end, name) ||
        rest.find_first_not_of('\r', end) != std::string::npos ||
        (rest.front() != '"' && rest.front() != '{' && !isAtom(name))) {
        throw parseError;
    }
    delimiter = flat ? '\0' : delimiterField[1];
}
