// Sieve response reading, on lines alone.
#include "sieve/SieveReplies.h"

#include <cctype>

#include "wire/LineTokenizer.h"
#include "wire/LiteralLines.h"

namespace {

std::string localMessage(int failure) {
    return failure == ReplyLineReader::kConnectionClosed ? "Socket Error"
           : failure == ReplyLineReader::kConnectionLost ? "connection lost"
                                                         : "connection timed out";
}

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(LineTokenizer::kSpace);
    if (first == std::string::npos) {
        return std::string();
    }
    const size_t last = text.find_last_not_of(LineTokenizer::kSpace);
    return text.substr(first, last - first + 1);
}

// The message for a NO or BYE token: the word, then the rest of its line,
// trimmed, outer quotes dropped. A reason sent as a literal is not followed.
std::string finalMessage(const std::string& word, const LineTokenizer& tokens) {
    std::string reason = trimmed(tokens.rest());
    if (reason.size() >= 2 && reason.front() == '"' && reason.back() == '"') {
        reason = reason.substr(1, reason.size() - 2);
    }
    return reason.empty() ? word : word + " " + reason;
}

// What a line handler did with a line.
constexpr int kLineSplit = 0;  // not taken: its tokens are looked at
constexpr int kLineTaken = 1;  // taken whole; a negative value ends the read

// Reads lines and hands each to `onLine`, which may take it whole; a line
// not taken is split, and each token goes to `onToken`, which returns true
// when it decided the result. OK, NO and BYE are decided here. With
// `literals`, a line that ends in a literal header is read with its bytes.
template <typename TokenHandler, typename LineHandler>
int readResponse(LineSource& source, std::string& message, const ReplyWaits& waits, bool literals,
                 TokenHandler onToken, LineHandler onLine) {
    ReplyLineReader reader(source, waits);
    std::string line;
    for (;;) {
        const int failure =
            literals ? readLineWithLiterals(reader, line, LiteralForms::AlsoNonSynchronizing)
                     : reader.next(line);
        if (failure < 0) {
            message = localMessage(failure);
            return failure;
        }
        const int taken = onLine(line);
        if (taken < 0) {
            return taken;
        }
        if (taken == kLineTaken) {
            continue;
        }
        LineTokenizer tokens(line, LineTokenizer::kSpace);
        std::string token;
        while (tokens.next(token)) {
            if (token == "OK") {
                message = "OK";
                return kSieveOk;
            }
            if (token == "NO") {
                message = finalMessage("NO", tokens);
                return kSieveNo;
            }
            if (token == "BYE") {
                message = finalMessage("BYE", tokens);
                return kSieveBye;
            }
            int result = 0;
            if (onToken(token, result)) {
                return result;
            }
        }
    }
}

// The ManageSieve quoted string at `pos` of `text`, whose only escapes are
// \" and \\; sets `pos` past it.
bool quotedStringAt(const std::string& text, size_t& pos, std::string& value) {
    if (pos >= text.size() || text[pos] != '"') {
        return false;
    }
    std::string read;
    for (size_t i = pos + 1; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"') {
            value = read;
            pos = i + 1;
            return true;
        }
        if (c == '\\') {
            if (i + 1 >= text.size() || (text[i + 1] != '"' && text[i + 1] != '\\')) {
                return false;
            }
            c = text[++i];
        } else if (c == '\r' || c == '\n') {
            return false;
        }
        read += c;
    }
    return false;
}

// One line of a listing, as readLineWithLiterals gives it: a script's name,
// then maybe ACTIVE. False for a line that is not of that form.
bool parseListedScript(const std::string& line, ListedScript& script, bool& active) {
    // Without the CR of the line end (a literal's bytes may hold one).
    const std::string text =
        !line.empty() && line.back() == '\r' ? line.substr(0, line.size() - 1) : line;
    const std::string activeMark = " ACTIVE";
    size_t pos = 0;
    std::string name;
    if (quotedStringAt(text, pos, name) ||
        literalAt(text, pos, name, LiteralForms::AlsoNonSynchronizing)) {
        const std::string rest = text.substr(pos);
        if (rest.empty() || rest == activeMark) {
            script.name = name;
            script.verbatim.clear();
            if (text[0] == '"' && text.compare(1, pos - 2, name) != 0) {
                script.verbatim = text.substr(1, pos - 2);
            }
            active = !rest.empty();
            return true;
        }
    }
    // A server that does not escape: the name runs from the first quote to
    // the last one, which ends the line or comes before " ACTIVE".
    if (text.empty() || text[0] != '"') {
        return false;
    }
    active = text.size() > activeMark.size() + 1 &&
             text.compare(text.size() - activeMark.size(), activeMark.size(), activeMark) == 0 &&
             text[text.size() - activeMark.size() - 1] == '"';
    const size_t close = active ? text.size() - activeMark.size() - 1 : text.size() - 1;
    if (close == 0 || text[close] != '"') {
        return false;
    }
    script.name = text.substr(1, close - 1);
    script.verbatim.clear();
    return true;
}

}  // namespace

int readSieveResponse(LineSource& source, std::string& message, const ReplyWaits& waits) {
    return readResponse(
        source, message, waits, false, [](const std::string&, int&) { return false; },
        [](const std::string&) { return kLineSplit; });
}

int readSieveListResponse(LineSource& source, std::list<ListedScript>& scripts, std::string& active,
                          std::string& message, const ReplyWaits& waits) {
    const std::string parseError = "Error parsing LISTSCRIPTS response";
    std::string lastName;
    return readResponse(
        source, message, waits, true,
        [&](const std::string& token, int& result) {
            // ACTIVE on a line of its own marks the last name seen.
            if (token == "ACTIVE") {
                active = lastName;
            } else if (!token.empty()) {
                message = parseError;
                result = kSieveParseError;
                return true;
            }
            return false;
        },
        [&](const std::string& line) {
            if (line.empty() || (line[0] != '"' && line[0] != '{')) {
                return kLineSplit;
            }
            ListedScript script;
            bool isActive = false;
            if (!parseListedScript(line, script, isActive)) {
                message = parseError;
                return static_cast<int>(kSieveParseError);
            }
            lastName = script.name;
            if (isActive) {
                active = script.name;
            }
            scripts.push_back(script);
            return kLineTaken;
        });
}

namespace {

// The quoted string after any blanks at `position` of `line`.
bool quotedAt(const std::string& line, size_t& position, std::string& text) {
    while (position < line.size() && line[position] == ' ') {
        ++position;
    }
    return quotedStringAt(line, position, text);
}

}  // namespace

int readSieveCapabilities(LineSource& source, SieveCapabilities& capabilities, std::string& message,
                          const ReplyWaits& waits) {
    return readResponse(
        source, message, waits, false, [](const std::string&, int&) { return false; },
        [&capabilities](const std::string& line) {
            size_t position = 0;
            std::string name;
            if (!quotedAt(line, position, name)) {
                return kLineSplit;
            }
            for (char& c : name) {
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            }
            std::string value;
            quotedAt(line, position, value);
            if (name == "STARTTLS") {
                capabilities.startTls = true;
            } else if (name == "SASL") {
                capabilities.saslListed = true;
                capabilities.sasl = value;
            } else if (name == "UNAUTHENTICATE") {
                capabilities.unauthenticate = true;
            }
            return kLineTaken;
        });
}

std::string sieveResponseCode(const std::string& message) {
    const size_t open = message.find(" (");
    if (open == std::string::npos ||
        (message.compare(0, open, "NO") != 0 && message.compare(0, open, "BYE") != 0)) {
        return "";
    }
    const size_t end = message.find_first_of(" )", open + 2);
    if (end == std::string::npos) {
        return "";
    }
    std::string code = message.substr(open + 2, end - open - 2);
    for (char& c : code) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return code;
}

std::string sieveReferralUrl(const std::string& message) {
    if (sieveResponseCode(message) != "REFERRAL") {
        return "";
    }
    size_t position = message.find('(') + 10;
    std::string url;
    if (!quotedAt(message, position, url)) {
        return "";
    }
    return url;
}

bool parseSieveUrl(const std::string& url, std::string& host, int& port) {
    const std::string scheme = "sieve://";
    if (url.size() <= scheme.size()) {
        return false;
    }
    for (size_t i = 0; i < scheme.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(url[i])) != scheme[i]) {
            return false;
        }
    }
    std::string authority = url.substr(scheme.size(), url.find('/', scheme.size()) - scheme.size());
    authority =
        authority.substr(authority.rfind('@') == std::string::npos ? 0 : authority.rfind('@') + 1);
    std::string portText;
    if (!authority.empty() && authority.front() == '[') {
        const size_t close = authority.find(']');
        if (close == std::string::npos) {
            return false;
        }
        host = authority.substr(1, close - 1);
        if (close + 1 < authority.size()) {
            if (authority[close + 1] != ':') {
                return false;
            }
            portText = authority.substr(close + 2);
        }
    } else {
        const size_t colon = authority.find(':');
        host = authority.substr(0, colon);
        if (colon != std::string::npos) {
            portText = authority.substr(colon + 1);
        }
    }
    port = 0;
    if (!portText.empty()) {
        if (portText.size() > 5 || portText.find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        port = std::stoi(portText);
        if (port == 0 || port > 65535) {
            return false;
        }
    }
    return !host.empty();
}
