// The address searches.
#include "account/AddressHolders.h"

#include <strings.h>

#include "common/Escape.h"
#include "ldap/LDAPConnection.h"
#include "ldap/LDAPException.h"

std::string addressHolderTerms(const std::vector<std::string>& addresses) {
    std::string terms;
    for (const std::string& address : addresses) {
        const std::string value = escapeFilterValue(address);
        terms += "(alias=" + value + ")(uid=" + value + ")";
    }
    return terms;
}

std::string otherAccountsFilter(const std::string& login, const std::string& terms) {
    return "(&(objectClass=posixAccount)(!(uid=" + escapeFilterValue(login) + "))(|" + terms + "))";
}

bool addressHeldByAnother(LDAPConnection& connection, const std::string& baseDN,
                          const std::string& address, const std::string& login) {
    const std::string value = escapeFilterValue(address);
    const std::string filter = "(& (objectClass=posixAccount)(| (alias=" + value +
                               ")(uid=" + value + ") ) (! (uid=" + escapeFilterValue(login) + ")))";
    std::unique_ptr<LDAPSearchResults> results =
        connection.search(baseDN, LDAPConnection::SEARCH_ONE, filter, StringList{"objectClass"});
    return results->getNext() != nullptr;
}

bool isAddressUnique(LDAPConnection* connection, const std::string& baseDN,
                     const std::string& address, const std::string& login) {
    if (!connection) {
        return false;
    }
    try {
        return !addressHeldByAnother(*connection, baseDN, address, login);
    } catch (const LDAPException&) {
        return false;  // a search that fails counts as a conflict
    }
}

bool heldByAnother(LDAPConnection& connection, const std::string& baseDN, const std::string& value,
                   const std::string& login) {
    const std::string escaped = escapeFilterValue(value);
    const std::string cards = ",o=AddressBook," + baseDN;
    try {
        std::unique_ptr<LDAPSearchResults> results = connection.search(
            baseDN, LDAPConnection::SEARCH_SUB,
            "(&(|(objectClass=posixAccount)(objectClass=TolvoeMailObject))(!(uid=" +
                escapeFilterValue(login) + "))(|(mail=" + escaped + ")(alias=" + escaped + ")))",
            StringList{"1.1"});
        bool held = false;
        while (std::unique_ptr<LDAPEntry> entry = results->getNext()) {
            const std::string& dn = entry->getDN();
            held = held || dn.size() < cards.size() ||
                   strcasecmp(dn.c_str() + dn.size() - cards.size(), cards.c_str()) != 0;
        }
        return held;
    } catch (const LDAPException&) {
        return false;
    }
}
