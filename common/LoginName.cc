// Login name sanity check.
#include "common/LoginName.h"

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
