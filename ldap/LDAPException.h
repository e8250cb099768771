// The error raised by every directory operation: the LDAP result code, the
// library's text for it and the diagnostic message the server sent.
#pragma once

#include <string>

class LDAPException {
  public:
    // `referral`: the server a Referral result names (a read-only copy of
    // the directory names its provider), else empty.
    LDAPException(int resultCode, std::string serverMessage, std::string referral = "");
    // A request that `server` did not answer within `waitMs`.
    static LDAPException noAnswer(const std::string& server, int waitMs);

    int getResultCode() const { return resultCode_; }
    // Whether the server did not answer in time (LDAP_TIMEOUT).
    bool timedOut() const;
    // The library's text for the result code ("Invalid credentials", ...);
    // for a referral it names the server referred to, for a time-out the
    // server that did not answer and how long it was waited for.
    std::string getResultMsg() const;
    // What the server added as diagnostic message; often empty.
    const std::string& getServerMsg() const { return serverMessage_; }

  private:
    int resultCode_;
    std::string serverMessage_;
    std::string referral_;
    std::string silence_;
};
