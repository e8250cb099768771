// IMAP reply reading and parsing, on lines alone.
#include "imap/ImapReplies.h"

#include <algorithm>
#include <cctype>

#include "imap/IMAPException.h"
#include "wire/LineTokenizer.h"
#include "wire/LiteralLines.h"

int readImapLine(ReplyLineReader& reader, std::string& line) {
    return readLineWithLiterals(reader, line, LiteralForms::Synchronizing);
}

int readImapResponse(LineSource& source, const std::string& tag, std::string& response,
                     std::list<std::string>* untagged, const ReplyWaits& waits) {
    ReplyLineReader reader(source, waits);
    std::string line;
    for (;;) {
        const int failure = readImapLine(reader, line);
        if (failure < 0) {
            response = failure == ReplyLineReader::kConnectionClosed ? "Socket error"
                       : failure == ReplyLineReader::kConnectionLost ? "connection lost"
                                                                     : "connection timed out";
            return failure;
        }
        LineTokenizer tokens(line, LineTokenizer::kSpace);
        std::string token;
        while (tokens.next(token)) {
            if (token == "*") {
                if (untagged) {
                    untagged->push_back(line);
                }
                break;
            }
            if (token == "+") {
                response = "+ " + tokens.rest();
                return kImapContinue;
            }
            if (token == tag) {
                std::string status;
                if (!tokens.next(status)) {
                    break;
                }
                const int result = status == "OK"    ? kImapOk
                                   : status == "NO"  ? kImapNo
                                   : status == "BAD" ? kImapBad
                                                     : 1;
                if (result <= 0) {
                    response = status + " " + tokens.rest();
                    return result;
                }
                // Not a status word: the scan goes on after it.
            }
        }
    }
}

namespace {

std::vector<IMAPNamespace>* groupAt(IMAPNamespaceSet& set, int index) {
    return index == 0 ? &set.personal : index == 1 ? &set.otherUsers : &set.shared;
}

// Appends the entries of one "((...)(...))" group, whose text runs from the
// inner "(" through the first of the two closing parentheses.
bool parseGroup(const std::string& group, std::vector<IMAPNamespace>& entries) {
    size_t j = 0;
    while (j < group.size() && group[j] == '(') {
        const size_t close = group.find(')', j);
        if (close == std::string::npos) {
            return false;
        }
        const std::string text = group.substr(j + 1, close - j - 1);
        IMAPNamespace entry;
        if (!text.empty() && text[0] == '"') {
            // The prefix is a quoted string, escapes undone; the delimiter
            // follows after one blank.
            size_t q1 = 1;
            while (q1 < text.size() && text[q1] != '"') {
                q1 += text[q1] == '\\' ? 2 : 1;
            }
            if (q1 >= text.size() || !unquoteImapString(text.substr(0, q1 + 1), entry.prefix)) {
                return false;
            }
            const size_t q2 = text.find('"', q1 + 1);
            if (q2 != std::string::npos && q2 + 1 < text.size()) {
                entry.delimiter = text.substr(q2 + 1, 1);
            }
        }
        entries.push_back(entry);
        j = close + 1;
    }
    return true;
}

}  // namespace

void parseNamespaceLines(const std::list<std::string>& lines, const std::string& taggedResponse,
                         IMAPNamespaceSet& set) {
    for (const std::string& line : lines) {
        std::string lower = line;
        for (char& c : lower) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        if (lower.compare(0, 12, "* namespace ") != 0) {
            throw IMAPException("namespace", taggedResponse);
        }
        size_t p = 12;
        for (int g = 0; g < 3; ++g) {
            if (p < lower.size() && lower.compare(p, 2, "((") == 0) {
                p += 1;
                const size_t end = lower.find("))", p);
                if (end == std::string::npos ||
                    !parseGroup(line.substr(p, end - p + 1), *groupAt(set, g))) {
                    throw IMAPException("namespace", taggedResponse);
                }
                p = end + 3;
            } else if (p < lower.size() && lower.compare(p, 3, "nil") == 0) {
                IMAPNamespace nil;
                nil.isNil = true;
                groupAt(set, g)->push_back(nil);
                p += 4;
            }
        }
    }
}

bool readAstring(const std::string& line, size_t& pos, std::string& value) {
    if (pos >= line.size()) {
        return false;
    }
    size_t after = pos;
    if (line[pos] == '"') {
        // To the closing quote that no backslash escapes.
        ++after;
        while (after < line.size() && line[after] != '"') {
            after += line[after] == '\\' ? 2 : 1;
        }
        if (after >= line.size() || !unquoteImapString(line.substr(pos, after + 1 - pos), value)) {
            return false;
        }
        pos = after + 1;
        return true;
    }
    if (line[pos] == '{') {
        return literalAt(line, pos, value, LiteralForms::Synchronizing);
    }
    after = std::min(line.find_first_of(" \r\n", pos), line.size());
    if (after == pos) {
        return false;
    }
    value = line.substr(pos, after - pos);
    pos = after;
    return true;
}

bool aclLineMailbox(const std::string& line, std::string& name, size_t* end) {
    if (line.compare(0, 6, "* ACL ") != 0) {
        return false;
    }
    size_t after = 6;
    if (!readAstring(line, after, name)) {
        return false;
    }
    if (end) {
        *end = after;
    }
    return !name.empty();
}

std::list<IMAPAcl> parseAclLines(const std::list<std::string>& lines, const std::string& mailbox) {
    const IMAPException parseError("getacl", "Error parsing ACL response");
    std::list<IMAPAcl> acls;
    for (const std::string& line : lines) {
        std::string name;
        size_t pos = 0;
        if (!aclLineMailbox(line, name, &pos) || name != mailbox) {
            throw parseError;
        }
        // Pairs of identifier and rights after blanks, to the end of the
        // line (a CR may end it).
        const auto blanks = [&line, &pos] {
            const size_t start = pos;
            pos = std::min(line.find_first_not_of(' ', pos), line.size());
            return pos > start;
        };
        for (;;) {
            const bool separated = blanks();
            if (line.find_first_not_of('\r', pos) == std::string::npos) {
                break;
            }
            IMAPAcl acl;
            if (!separated || !readAstring(line, pos, acl.identifier) || !blanks() ||
                !readAstring(line, pos, acl.rights)) {
                throw parseError;
            }
            acls.push_back(acl);
        }
    }
    return acls;
}

ImapCapabilities parseCapabilityCode(const std::string& line) {
    ImapCapabilities capabilities;
    std::string upper = line;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    const size_t start = upper.find("[CAPABILITY ");
    if (start == std::string::npos) {
        return capabilities;
    }
    const size_t end = upper.find(']', start);
    if (end == std::string::npos) {
        return capabilities;
    }
    capabilities.known = true;
    const std::string list = upper.substr(start + 12, end - start - 12);
    LineTokenizer tokens(list, LineTokenizer::kSpace);
    std::string token;
    while (tokens.next(token)) {
        if (!token.empty()) {
            capabilities.names.insert(token);
        }
    }
    return capabilities;
}

bool unquoteImapString(const std::string& quoted, std::string& text) {
    if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"') {
        return false;
    }
    text.clear();
    for (size_t i = 1; i + 1 < quoted.size(); ++i) {
        char c = quoted[i];
        if (c == '"') {
            return false;
        }
        if (c == '\\') {
            if (i + 2 >= quoted.size()) {
                return false;
            }
            c = quoted[++i];
        }
        text += c;
    }
    return true;
}
