// The lock rules.
#include "account/AccountLock.h"

#include <strings.h>

#include <cstdlib>

#include "account/Passwords.h"

namespace {

// Where the mark goes: right after the "}" of the scheme tag.
size_t markPlace(const std::string& value) {
    return namesScheme(value) ? value.find('}') + 1 : std::string::npos;
}

std::vector<std::string> valuesOf(const LDAPAttributeList& entry, const char* name) {
    const LDAPAttribute* attribute = entry.getAttributeByName(name);
    return attribute ? attribute->getValues() : std::vector<std::string>();
}

bool hasObjectClass(const LDAPAttributeList& entry, const char* name) {
    for (const std::string& value : valuesOf(entry, "objectClass")) {
        if (strcasecmp(value.c_str(), name) == 0) {
            return true;
        }
    }
    return false;
}

// Replaces the passwords of `entry` by `change` of each.
void changePasswords(LDAPAttributeList& entry, std::string (*change)(const std::string&)) {
    const std::vector<std::string> passwords = valuesOf(entry, "userPassword");
    if (passwords.empty()) {
        return;
    }
    LDAPAttribute changed("userPassword");
    for (const std::string& password : passwords) {
        changed.addValue(change(password));
    }
    entry.replaceAttribute(changed);
}

}  // namespace

bool isLockedPassword(const std::string& value) {
    const size_t place = markPlace(value);
    return place != std::string::npos && place < value.size() && value[place] == '!';
}

std::string lockedPassword(const std::string& value) {
    if (isLockedPassword(value)) {
        return value;
    }
    const std::string stored = namesScheme(value) ? value : hashPassword(value);
    const size_t place = markPlace(stored);
    return stored.substr(0, place) + "!" + stored.substr(place);
}

std::string unlockedPassword(const std::string& value) {
    return isLockedPassword(value)
               ? value.substr(0, markPlace(value)) + value.substr(markPlace(value) + 1)
               : value;
}

LockState lockState(const LDAPAttributeList& entry) {
    const std::vector<std::string> passwords = valuesOf(entry, "userPassword");
    const std::vector<std::string> expiry = valuesOf(entry, "shadowExpire");
    LockState state;
    state.locked = passwords.empty() ? !expiry.empty() : false;
    for (const std::string& password : passwords) {
        state.locked = state.locked || isLockedPassword(password);
    }
    if (state.locked && !expiry.empty()) {
        state.since = static_cast<int>(std::strtol(expiry.front().c_str(), nullptr, 10));
    }
    return state;
}

void lockEntry(LDAPAttributeList& entry, int today) {
    changePasswords(entry, lockedPassword);
    entry.replaceAttribute(LDAPAttribute("shadowExpire", std::to_string(today)));
    if (hasObjectClass(entry, "phpgwAccount")) {
        entry.replaceAttribute(LDAPAttribute("phpgwAccountStatus", "I"));
    }
}

void unlockEntry(LDAPAttributeList& entry) {
    changePasswords(entry, unlockedPassword);
    entry.replaceAttribute(LDAPAttribute("shadowExpire"));
    if (hasObjectClass(entry, "phpgwAccount")) {
        entry.replaceAttribute(LDAPAttribute("phpgwAccountStatus", "A"));
    }
}
