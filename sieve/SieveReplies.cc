// Sieve response reading, on lines alone.
#include "sieve/SieveReplies.h"

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

// The message for a NO token: the rest of its line, trimmed, outer quotes
// dropped. A reason sent as a literal is not followed.
std::string noMessage(const LineTokenizer& tokens) {
    std::string reason = trimmed(tokens.rest());
    if (reason.size() >= 2 && reason.front() == '"' && reason.back() == '"') {
        reason = reason.substr(1, reason.size() - 2);
    }
    return reason.empty() ? "NO" : "NO " + reason;
}

// Reads lines and hands each token to `onToken`, which returns true when
// it decided the result. OK and NO are decided here.
template <typename TokenHandler>
int readResponse(LineSource& source, std::string& message, const ReplyWaits& waits,
                 TokenHandler onToken) {
    ReplyLineReader reader(source, waits);
    std::string line;
    for (;;) {
        const int failure = reader.next(line);
        if (failure < 0) {
            message = localMessage(failure);
            return failure;
        }
        LineTokenizer tokens(line, LineTokenizer::kSpace);
        std::string token;
        while (tokens.next(token)) {
            if (token == "OK") {
                message = "OK";
                return kSieveOk;
            }
            if (token == "NO") {
                message = noMessage(tokens);
                return kSieveNo;
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
    return readResponse(source, message, waits, [](const std::string&, int&) { return false; });
}

int readSieveListResponse(LineSource& source, std::list<std::string>& scripts, std::string& active,
                          std::string& message, const ReplyWaits& waits) {
    std::string lastName;
    return readResponse(source, message, waits, [&](const std::string& token, int& result) {
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
    });
}
