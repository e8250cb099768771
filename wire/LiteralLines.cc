// Reading and finding literals in reply lines.
#include "wire/LiteralLines.h"

namespace {

// The byte count of the literal header that begins at `open` of `text`;
// `close` is set to its closing brace.
bool headerAt(const std::string& text, size_t open, LiteralForms forms, size_t& count,
              size_t& close) {
    if (open >= text.size() || text[open] != '{') {
        return false;
    }
    const size_t digits = open + 1;
    size_t end = text.find_first_not_of("0123456789", digits);
    if (end == std::string::npos || end == digits || end - digits > 9) {
        return false;
    }
    count = std::stoul(text.substr(digits, end - digits));
    if (forms == LiteralForms::AlsoNonSynchronizing && text[end] == '+') {
        ++end;
    }
    if (end >= text.size() || text[end] != '}') {
        return false;
    }
    close = end;
    return true;
}

// The byte count of the literal whose header ends `line` ("... {12}" or
// "{12}\r"), or false.
bool endingLiteral(const std::string& line, LiteralForms forms, size_t& count) {
    size_t end = line.size();
    if (end > 0 && line[end - 1] == '\r') {
        --end;
    }
    if (end < 3 || line[end - 1] != '}') {
        return false;
    }
    const size_t open = line.rfind('{', end - 1);
    size_t close = 0;
    return open != std::string::npos && headerAt(line, open, forms, count, close) &&
           close == end - 1;
}

}  // namespace

int readLineWithLiterals(ReplyLineReader& reader, std::string& line, LiteralForms forms) {
    int failure = reader.next(line);
    size_t count = 0;
    while (failure == 0 && endingLiteral(line, forms, count)) {
        line += '\n';
        failure = reader.nextBytes(line, count);
        std::string more;
        if (failure == 0) {
            failure = reader.next(more);
        }
        line += more;
    }
    return failure;
}

bool literalAt(const std::string& line, size_t& pos, std::string& value, LiteralForms forms) {
    size_t count = 0;
    size_t close = 0;
    if (!headerAt(line, pos, forms, count, close)) {
        return false;
    }
    size_t data = close + 1;
    data += data < line.size() && line[data] == '\r' ? 1 : 0;
    if (data >= line.size() || line[data] != '\n' || line.size() - data - 1 < count) {
        return false;
    }
    value = line.substr(data + 1, count);
    pos = data + 1 + count;
    return true;
}
