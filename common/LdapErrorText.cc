// Formatting of directory errors.
#include "common/LdapErrorText.h"

#include "ldap/LDAPException.h"

std::string ldapErrorText(const LDAPException& error) {
    std::string text = error.getResultMsg();
    if (!error.getServerMsg().empty()) {
        text += "    additional info: " + error.getServerMsg();
    }
    return text;
}
