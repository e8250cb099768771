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
    values.erase(std::unique(values.begin(), values.end()), values.end());
    return values;
}

bool namedIn(const std::vector<std::string>& names, const std::string& name) {
    return std::any_of(names.begin(), names.end(), [&name](const std::string& n) {
        return strcasecmp(n.c_str(), name.c_str()) == 0;
    });
}

// The values of `from` that `without` (sorted) lacks, each once, in the
// order of `from`.
LDAPAttribute valuesLacking(const std::string& name, const LDAPAttribute* from,
                            const std::vector<std::string>& without) {
    LDAPAttribute values(name);
    std::vector<std::string> taken;
    for (const std::string& value : from ? from->getValues() : std::vector<std::string>()) {
        if (!std::binary_search(without.begin(), without.end(), value) &&
            std::find(taken.begin(), taken.end(), value) == taken.end()) {
            taken.push_back(value);
            values.addValue(value);
        }
    }
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

LDAPModList conditionalChanges(const LDAPAttributeList& stored, const LDAPAttributeList& wanted,
                               const std::vector<std::string>& names,
                               const std::vector<std::string>& replaced) {
    LDAPModList changes;
    for (const std::string& name : names) {
        const std::vector<std::string> before = sortedValues(stored.getAttributeByName(name));
        const std::vector<std::string> after = sortedValues(wanted.getAttributeByName(name));
        if (before == after) {
            continue;
        }
        if (namedIn(replaced, name)) {
            LDAPModList replace = attributeChanges(stored, wanted, {name});
            changes.addModification(*replace.begin());
            continue;
        }
        const LDAPAttribute going = valuesLacking(name, stored.getAttributeByName(name), after);
        const LDAPAttribute coming = valuesLacking(name, wanted.getAttributeByName(name), before);
        if (going.getNumValues() > 0) {
            changes.addModification(LDAPModification(going, LDAPModification::OP_DELETE));
        }
        if (coming.getNumValues() > 0) {
            changes.addModification(LDAPModification(coming, LDAPModification::OP_ADD));
        }
    }
    return changes;
}

bool refusedAsChanged(int resultCode) {
    return resultCode == LDAP_NO_SUCH_ATTRIBUTE || resultCode == LDAP_TYPE_OR_VALUE_EXISTS ||
           resultCode == LDAP_CONSTRAINT_VIOLATION;
}

bool changesByValue(const std::string& attribute) {
    return namedIn({"alias", "plendarGroupID", "objectClass", "memberUid"}, attribute);
}

LDAPAttributeList changedAttributes(const LDAPAttributeList& from, const LDAPAttributeList& to,
                                    const std::vector<std::string>& names) {
    LDAPAttributeList changed;
    for (const std::string& name : names) {
        const LDAPAttribute* values = from.getAttributeByName(name);
        if (values && values->getNumValues() > 0 &&
            sortedValues(values) != sortedValues(to.getAttributeByName(name))) {
            changed.addAttribute(*values);
        }
    }
    return changed;
}

bool sameValues(const LDAPAttributeList& first, const LDAPAttributeList& second) {
    return attributeChanges(first, second, attributeNames(first, second)).size() == 0;
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
