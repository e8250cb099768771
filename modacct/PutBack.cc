// Putting an account's writes back.
#include "modacct/PutBack.h"

#include <ldap.h>

#include "common/LdapErrorText.h"
#include "ldap/LDAPConnection.h"
#include "ldap/LDAPException.h"

void PutBack::modified(const std::string& dn, const LDAPModList& restore, const std::string& what) {
    writes_.push_back({dn, restore, false, what});
}

void PutBack::added(const std::string& dn) {
    writes_.push_back({dn, LDAPModList(), true, dn});
}

std::string PutBack::putBack(LDAPConnection* connection) {
    while (!writes_.empty()) {
        const Write& last = writes_.back();
        try {
            if (!connection) {
                throw LDAPException(LDAP_SERVER_DOWN, "");
            }
            if (last.added) {
                connection->del(last.dn);
            } else {
                connection->modify(last.dn, &last.restore);
            }
        } catch (const LDAPException& e) {
            // A write whose answer was lost may never have been made: then
            // there is nothing to put back.
            const int code = e.getResultCode();
            if (code != LDAP_NO_SUCH_OBJECT && code != LDAP_NO_SUCH_ATTRIBUTE &&
                code != LDAP_TYPE_OR_VALUE_EXISTS) {
                std::string left;
                for (auto at = writes_.rbegin(); at != writes_.rend(); ++at) {
                    left += (left.empty() ? "" : ", ") + at->what;
                }
                return "putting back failed (" + ldapErrorText(e) + "), left as changed: " + left;
            }
        }
        writes_.pop_back();
    }
    return "its changes were put back";
}
