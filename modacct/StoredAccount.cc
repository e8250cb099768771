// Questions asked of a stored account.
#include "modacct/StoredAccount.h"

#include <strings.h>

#include <algorithm>

bool StoredAccount::hasObjectClass(const std::string& name) const {
    const std::vector<std::string> objectClasses = values("objectClass");
    return std::any_of(
        objectClasses.begin(), objectClasses.end(),
        [&name](const std::string& value) { return strcasecmp(value.c_str(), name.c_str()) == 0; });
}

std::vector<std::string> StoredAccount::values(const std::string& name) const {
    const LDAPAttribute* attribute = entry.getAttributeByName(name);
    return attribute ? attribute->getValues() : std::vector<std::string>();
}

std::string StoredAccount::first(const std::string& name) const {
    const std::vector<std::string> all = values(name);
    return all.empty() ? std::string() : all.front();
}
