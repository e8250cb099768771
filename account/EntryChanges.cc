// Differences between stored and wanted attributes.
#include "account/EntryChanges.h"

#include <ldap.h>
#include <strings.h>

#include <algorithm>

#include "ldap/LDAPException.h"

namespace {

std::vector<std::string> sortedValues(const LDAPAttribute* attribute) {
    std::vector<std::string> values;
    if (attribute) {
        values = attribute->getValues();
    }
    std::sort(values.begin(), values.end());
    return values;
}

}  // namespace

LDAPModList attributeChanges(const LDAPAttributeList& stored, const LDAPAttributeList& wanted,
                             const std::vector<std::string>& names) {
    LDAPModList changes;
    for (const std::string& name : names) {
        const LDAPAttribute* want = wanted.getAttributeByName(name);
        if (sortedValues(stored.getAttributeByName(name)) == sortedValues(want)) {
            continue;
        }
        if (want && want->getNumValues() > 0) {
            changes.addModification(LDAPModification(*want, LDAPModification::OP_REPLACE));
        } else {
            changes.addModification(
                LDAPModification(LDAPAttribute(name), LDAPModification::OP_DELETE));
        }
    }
    return changes;
}

std::vector<std::string> attributeNames(const LDAPAttributeList& first,
                                        const LDAPAttributeList& second) {
    std::vector<std::string> names;
    for (const LDAPAttributeList* list : {&first, &second}) {
        for (const LDAPAttribute& attribute : *list) {
            const bool known =
                std::any_of(names.begin(), names.end(), [&attribute](const std::string& name) {
                    return strcasecmp(name.c_str(), attribute.getName().c_str()) == 0;
                });
            if (!known) {
                names.push_back(attribute.getName());
            }
        }
    }
    return names;
}

std::unique_ptr<LDAPAttributeList> readEntry(LDAPConnection& connection, const std::string& dn) {
    try {
        std::unique_ptr<LDAPSearchResults> results =
            connection.search(dn, LDAPConnection::SEARCH_BASE, "(objectClass=*)");
        std::unique_ptr<LDAPAttributeList> found;
        while (std::unique_ptr<LDAPEntry> entry = results->getNext()) {
            found = std::make_unique<LDAPAttributeList>(*entry->getAttributes());
        }
        return found;
    } catch (const LDAPException& e) {
        if (e.getResultCode() == LDAP_NO_SUCH_OBJECT) {
            return nullptr;
        }
        throw;
    }
}
