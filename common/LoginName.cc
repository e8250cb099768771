// Login name checks and the stored form of a login.
#include "common/LoginName.h"

#include <cctype>

bool isUsableLoginName(const std::string& name) {
    if (!name.empty() && (name.front() == ' ' || name.back() == ' ')) {
        return false;
    }
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7f) {
            return false;
        }
    }
    return true;
}

std::string lowerCaseLogin(std::string name) {
    for (char& c : name) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return name;
}

std::string loginNamedBy(const std::string& value) {
    std::string login;
    bool blank = false;
    for (const char c : value) {
        if (c == ' ') {
            blank = !login.empty();
            continue;
        }
        if (blank) {
            login += ' ';
            blank = false;
        }
        login += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return login;
}
