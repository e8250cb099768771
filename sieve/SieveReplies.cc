// Sieve response reading, on lines alone.
#include "sieve/SieveReplies.h"

#include <cctype>

#include "wire/LineTokenizer.h"

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

// Reads lines and hands each token to `onToken`, which returns true when
// it decided the result. OK and NO are decided here. `onLine` may take a
// whole line first (returning true), which is then not split.
template <typename TokenHandler, typename LineHandler>
int readResponse(LineSource& source, std::string& message, const ReplyWaits& waits,
                 TokenHandler onToken, LineHandler onLine) {
    ReplyLineReader reader(source, waits);
    std::string line;
    for (;;) {
        const int failure = reader.next(line);
        if (failure < 0) {
            message = localMessage(failure);
            return failure;
        }
        if (onLine(line)) {
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

}  // namespace

int readSieveResponse(LineSource& source, std::string& message, const ReplyWaits& waits) {
    return readResponse(
        source, message, waits, [](const std::string&, int&) { return false; },
        [](const std::string&) { return false; });
}

int readSieveListResponse(LineSource& source, std::list<std::string>& scripts, std::string& active,
                          std::string& message, const ReplyWaits& waits) {
    std::string lastName;
    return readResponse(
        source, message, waits,
        [&](const std::string& token, int& result) {
            if (token.size() >= 2 && token.front() == '"' && token.back() == '"') {
                lastName = token.substr(1, token.size() - 2);
                scripts.push_back(lastName);
            } else if (token == "ACTIVE") {
                active = lastName;
            } else if (!token.empty()) {
                message = "Error parsing LISTSCRIPTS response";
                result = kSieveParseError;
                return true;
            }
            return false;
        },
        [](const std::string&) { return false; });
}

namespace {

// The quoted string at `position` of `line`, backslash escapes undone;
// false when there is none or it does not close.
bool quotedAt(const std::string& line, size_t& position, std::string& text) {
    while (position < line.size() && line[position] == ' ') {
        ++position;
    }
    if (position >= line.size() || line[position] != '"') {
        return false;
    }
    text.clear();
    for (size_t i = position + 1; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) {
            text += line[++i];
        } else if (line[i] == '"') {
            position = i + 1;
            return true;
        } else {
            text += line[i];
        }
    }
    return false;
}

}  // namespace

int readSieveCapabilities(LineSource& source, SieveCapabilities& capabilities, std::string& message,
                          const ReplyWaits& waits) {
    return readResponse(
        source, message, waits, [](const std::string&, int&) { return false; },
        [&capabilities](const std::string& line) {
            size_t position = 0;
            std::string name;
            if (!quotedAt(line, position, name)) {
                return false;
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
            return true;
        });
}

std::string sieveReferralUrl(const std::string& message) {
    std::string upper = message;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (upper.rfind("NO (REFERRAL ", 0) != 0 && upper.rfind("BYE (REFERRAL ", 0) != 0) {
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
