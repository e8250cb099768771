// Maps result codes to the OpenLDAP library's own texts.
#include "ldap/LDAPException.h"

#include <ldap.h>

#include <utility>

LDAPException::LDAPException(int resultCode, std::string serverMessage, std::string referral)
    : resultCode_(resultCode),
      serverMessage_(std::move(serverMessage)),
      referral_(std::move(referral)) {}

LDAPException LDAPException::noAnswer(const std::string& server, int waitMs) {
    LDAPException error(LDAP_TIMEOUT, "");
    const std::string wait =
        waitMs % 1000 == 0 ? std::to_string(waitMs / 1000) + " s" : std::to_string(waitMs) + " ms";
    error.silence_ = "the directory " + server + " did not answer within " + wait;
    return error;
}

bool LDAPException::timedOut() const {
    return resultCode_ == LDAP_TIMEOUT;
}

std::string LDAPException::getResultMsg() const {
    const std::string text = ldap_err2string(resultCode_);
    if (!silence_.empty()) {
        return text + ": " + silence_;
    }
    if (referral_.empty()) {
        return text;
    }
    // The referral is not followed: that would send the administrator's
    // password to a server the run was not pointed at.
    return text + " to " + referral_ + " (this server takes no writes; run against that one)";
}
