// Filter and DN value escaping.
#include "common/Escape.h"

#include <cstdio>

namespace {
std::string hexEscape(unsigned char c) {
    char buffer[4];
    std::snprintf(buffer, sizeof buffer, "\\%02x", c);
    return buffer;
}
}  // namespace

std::string escapeFilterValue(const std::string& value) {
    std::string escaped;
    for (char c : value) {
        if (c == '*' || c == '(' || c == ')' || c == '\\' || c == '\0') {
            escaped += hexEscape(static_cast<unsigned char>(c));
        } else {
            escaped += c;
        }
    }
    return escaped;
}

std::string escapeDnValue(const std::string& value) {
    std::string escaped;
    for (size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        const bool leading = i == 0 && (c == ' ' || c == '#');
        const bool trailing = i + 1 == value.size() && c == ' ';
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            // Control characters as hex pairs: the DN parser would take an
            // unescaped line end at either end for white space and drop it.
            escaped += hexEscape(static_cast<unsigned char>(c));
        } else if (leading || trailing || c == ',' || c == '+' || c == '"' || c == '\\' ||
                   c == '<' || c == '>' || c == ';' || c == '=') {
            escaped += '\\';
            escaped += c;
        } else {
            escaped += c;
        }
    }
    return escaped;
}
