// The error raised by every directory operation: the LDAP result code, the
// library's text for it and the diagnostic message the server sent.
#pragma once

#include <string>

class LDAPException {
  public:
    // `referral`: the server a Referral result names (a read-only copy of
    // the directory names its provider), else empty.
    LDAPException(int resultCode, std::string serverMessage, std::string referral = "");

    int getResultCode() const { return resultCode_; }
    // The library's text for the result code ("Invalid credentials", ...);
    // for a referral it names the server referred to.
    std::string getResultMsg() const;
    // What the server added as diagnostic message; often empty.
    const std::string& getServerMsg() const { return serverMessage_; }

  private:
    int resultCode_;
    std::string serverMessage_;
    std::string referral_;
};
