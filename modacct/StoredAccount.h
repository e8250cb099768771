// What the directory holds of one account: its user entry, the classes it
// belongs to (the posixGroups one level below the base whose memberUid
// holds its login), its groupware contact card when that was read, and
// whether it is locked and since when.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "account/AccountLock.h"
#include "ldap/LDAPAttributeList.h"

struct StoredAccount {
    std::string dn;
    LDAPAttributeList entry;
    // The groups' names (cn) as the directory has them.
    std::vector<std::string> classes;
    // Whether the card was read, and what it holds when it is there.
    bool contactRead = false;
    std::optional<LDAPAttributeList> contact;
    // Of each class, the memberUid values that name the login as stored:
    // written by other tools, a value may spell it in other case ("JDoe"),
    // which the login still names, and which leaving the class removes.
    std::map<std::string, std::vector<std::string>> memberValues;

    LockState lock() const { return lockState(entry); }
    bool hasObjectClass(const std::string& name) const;
    // The entry's values of `name`, and the first of them (or "").
    std::vector<std::string> values(const std::string& name) const;
    std::string first(const std::string& name) const;
};
