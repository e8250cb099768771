// Maps result codes to the OpenLDAP library's own texts.
#include "ldap/LDAPException.h"

#include <ldap.h>

#include <utility>

LDAPException::LDAPException(int resultCode, std::string serverMessage, std::string referral)
    : resultCode_(resultCode),
      serverMessage_(std::move(serverMessage)),
      referral_(std::move(referral)) {}

std::string LDAPException::getResultMsg() const {
    const std::string text = ldap_err2string(resultCode_);
    if (referral_.empty()) {
        return text;
    }
    // The referral is not followed: that would send the administrator's
    // password to a server the run was not pointed at.
    return text + " to " + referral_ + " (this server takes no writes; run against that one)";
}
