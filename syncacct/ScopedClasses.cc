// Reading the scoped classes and their members.
#include "syncacct/ScopedClasses.h"

#include <algorithm>
#include <set>

#include "common/LoginName.h"
#include "ldap/LDAPConnection.h"
#include "modacct/AccountChange.h"
#include "modacct/AccountReads.h"

std::vector<std::string> classesInScope(const std::vector<std::string>& dns,
                                        const std::vector<std::string>& scope) {
    std::vector<std::string> names;
    std::set<std::string> seen;
    for (const std::string& dn : dns) {
        const std::string name = rdnValue(dn, "cn");
        if (!name.empty() && classInScope(scope, name) && seen.insert(name).second) {
            names.push_back(name);
        }
    }
    return names;
}

ScopedClasses readScopedClasses(LDAPConnection& connection, const std::string& baseDN,
                                const std::vector<std::string>& scope) {
    std::vector<std::string> dns;
    // Names only: other groups (staff, users) may have thousands of members.
    std::unique_ptr<LDAPSearchResults> groups = connection.search(
        baseDN, LDAPConnection::SEARCH_ONE, "(objectClass=posixGroup)", StringList{"1.1"});
    while (std::unique_ptr<LDAPEntry> entry = groups->getNext()) {
        dns.push_back(entry->getDN());
    }
    ScopedClasses classes;
    classes.names = classesInScope(dns, scope);
    std::set<std::string> members;
    for (const std::string& filter : orFilters("cn", classes.names)) {
        std::unique_ptr<LDAPSearchResults> results =
            connection.search(baseDN, LDAPConnection::SEARCH_ONE,
                              "(&(objectClass=posixGroup)" + filter + ")", StringList{"memberUid"});
        while (std::unique_ptr<LDAPEntry> entry = results->getNext()) {
            if (!classInScope(scope, rdnValue(entry->getDN(), "cn"))) {
                continue;
            }
            const LDAPAttribute* values = entry->getAttributes()->getAttributeByName("memberUid");
            for (size_t i = 0; values && i < values->getNumValues(); ++i) {
                members.insert(loginNamedBy(values->getValues()[i]));
            }
        }
    }
    classes.members.assign(members.begin(), members.end());
    return classes;
}
