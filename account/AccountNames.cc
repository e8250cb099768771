// DNs of an account's entries.
#include "account/AccountNames.h"

#include "common/Escape.h"

std::string userDn(const std::string& login, const std::string& baseDN) {
    return "uid=" + escapeDnValue(login) + "," + baseDN;
}

std::string contactDn(const std::string& login, const std::string& baseDN) {
    return "uid=" + escapeDnValue(login + ":system") + ",o=AddressBook," + baseDN;
}

std::string classGroupDn(const std::string& name, const std::string& baseDN) {
    return "cn=" + escapeDnValue(name) + "," + baseDN;
}

std::string addressAdminsDn(const std::string& baseDN) {
    return "cn=AddressAdmins,o=Addressbook," + baseDN;
}
