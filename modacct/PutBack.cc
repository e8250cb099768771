// Putting an account's writes back.
#include "modacct/PutBack.h"

#include <ldap.h>

#include <algorithm>
#include <memory>

#include "account/EntryChanges.h"
#include "common/DistinguishedName.h"
#include "common/LdapErrorText.h"
#include "ldap/LDAPConnection.h"
#include "ldap/LDAPException.h"

namespace {

// jpegPhoto has no equality rule, so a delete cannot name its values: it is
// put back whole.
const std::vector<std::string> kRestoredWhole{"jpegPhoto"};

// One request of a restore taken apart: an attribute, or one value of a set.
struct Part {
    std::string name;
    LDAPModList changes;
    bool oneValue;
};

std::vector<Part> partsOf(const LDAPModList& restore) {
    std::vector<Part> parts;
    for (const LDAPModification& change : restore) {
        const LDAPAttribute& attribute = change.getAttribute();
        if (changesByValue(attribute.getName())) {
            for (const std::string& value : attribute.getValues()) {
                LDAPModList one;
                one.addModification(LDAPModification(LDAPAttribute(attribute.getName(), value),
                                                     change.getOperation()));
                parts.push_back({attribute.getName(), one, true});
            }
        } else if (!parts.empty() && !parts.back().oneValue &&
                   parts.back().name == attribute.getName()) {
            parts.back().changes.addModification(change);
        } else {
            LDAPModList whole;
            whole.addModification(change);
            parts.push_back({attribute.getName(), whole, false});
        }
    }
    return parts;
}

std::vector<std::string> sortedValuesOf(const LDAPAttributeList* entry, const std::string& name) {
    const LDAPAttribute* attribute = entry ? entry->getAttributeByName(name) : nullptr;
    std::vector<std::string> values =
        attribute ? attribute->getValues() : std::vector<std::string>();
    std::sort(values.begin(), values.end());
    return values;
}

}  // namespace

void PutBack::modified(const std::string& dn, const LDAPAttributeList& before,
                       const LDAPAttributeList& after, const std::string& what) {
    writes_.push_back({dn, before, after, false, what});
}

void PutBack::added(const std::string& dn) {
    writes_.push_back({dn, {}, {}, true, dn});
}

void PutBack::restore(LDAPConnection& connection, const Write& write) {
    try {
        if (write.added) {
            connection.del(write.dn);
            return;
        }
        const LDAPModList restore = conditionalChanges(
            write.after, write.before, attributeNames(write.after, write.before), kRestoredWhole);
        if (restore.size() > 0) {
            connection.modify(write.dn, &restore);
        }
    } catch (const LDAPException& e) {
        // An entry that is gone has nothing left to put back.
        if (e.getResultCode() == LDAP_NO_SUCH_OBJECT) {
            return;
        }
        if (!refusedAsChanged(e.getResultCode()) || write.added) {
            throw;
        }
        restoreByParts(connection, write);
    }
}

void PutBack::restoreByParts(LDAPConnection& connection, const Write& write) {
    const std::vector<Part> parts = partsOf(conditionalChanges(
        write.after, write.before, attributeNames(write.after, write.before), kRestoredWhole));
    std::unique_ptr<LDAPAttributeList> current;
    bool read = false;
    for (const Part& part : parts) {
        // A restore of one part was refused as it stands already.
        if (parts.size() > 1) {
            try {
                connection.modify(write.dn, &part.changes);
                continue;
            } catch (const LDAPException& e) {
                if (e.getResultCode() == LDAP_NO_SUCH_OBJECT) {
                    return;
                }
                if (!refusedAsChanged(e.getResultCode())) {
                    throw;
                }
            }
        }
        // A value of a set that is gone, or there again, is as it was before
        // the run (whoever made it so). A value taken whole is either as it
        // was (the write was never made), or another change replaced it.
        if (part.oneValue) {
            continue;
        }
        if (!read) {
            current = readEntry(connection, write.dn);
            read = true;
        }
        if (!current) {
            return;
        }
        if (sortedValuesOf(current.get(), part.name) != sortedValuesOf(&write.before, part.name)) {
            changedSince_.push_back(part.name + " in " + write.what);
        }
    }
}

std::string PutBack::putBack(LDAPConnection* connection) {
    while (!writes_.empty()) {
        try {
            if (!connection) {
                throw LDAPException(LDAP_SERVER_DOWN, "");
            }
            restore(*connection, writes_.back());
        } catch (const LDAPException& e) {
            std::string left;
            for (auto at = writes_.rbegin(); at != writes_.rend(); ++at) {
                left += (left.empty() ? "" : ", ") + at->what;
            }
            return "putting back failed (" + ldapErrorText(e) + "), left as changed: " + left;
        }
        writes_.pop_back();
    }
    std::string text = "its changes were put back";
    for (size_t i = 0; i < changedSince_.size(); ++i) {
        text += (i == 0 ? ", except what has changed since: " : ", ") + changedSince_[i];
    }
    return text;
}

void PutBack::takeBackNewest(LDAPConnection& connection) {
    // The account is read again before it is written again: what changed
    // meanwhile is news to it, not a loss.
    const std::vector<std::string> known = changedSince_;
    restore(connection, writes_.back());
    writes_.pop_back();
    changedSince_ = known;
}

bool PutBack::leaves(const std::string& dn, const std::string& attribute) const {
    for (const Write& write : writes_) {
        if (!write.added && sameDN(write.dn, dn) && write.after.getAttributeByName(attribute)) {
            return true;
        }
    }
    return false;
}
