// Gathering the groups -class took accounts out of, and the warning.
#include "modacct/UnnamedGroups.h"

#include <strings.h>

#include <algorithm>

void UnnamedGroups::add(const std::string& login, const std::vector<std::string>& groups) {
    if (groups.empty()) {
        return;
    }
    logins_.push_back(login);
    for (const std::string& name : groups) {
        const auto known = std::find_if(groups_.begin(), groups_.end(), [&name](const auto& group) {
            return strcasecmp(group.first.c_str(), name.c_str()) == 0;
        });
        if (known == groups_.end()) {
            groups_.emplace_back(name, 1);
        } else {
            ++known->second;
        }
    }
}

std::string UnnamedGroups::warning() const {
    if (logins_.empty()) {
        return "";
    }
    std::string names;
    for (const auto& [name, accounts] : groups_) {
        names += (names.empty() ? "" : ", ") + name;
        if (logins_.size() > 1) {
            names += " (" + std::to_string(accounts) + ")";
        }
    }
    const std::string who =
        logins_.size() == 1 ? logins_.front() : std::to_string(logins_.size()) + " accounts";
    return "modacct: warning: -class takes " + who +
           " out of groups that no -class names: " + names +
           " (-scope PATTERN sets the classes among the groups PATTERN matches only)";
}
