// Maps result codes to the OpenLDAP library's own texts.
#include "ldap/LDAPException.h"

#include <ldap.h>

#include <utility>

LDAPException::LDAPException(int resultCode, std::string serverMessage)
    : resultCode_(resultCode), serverMessage_(std::move(serverMessage)) {}

std::string LDAPException::getResultMsg() const {
    return ldap_err2string(resultCode_);
}
