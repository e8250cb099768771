// newacct's directory session: one connection bound as the administrator,
// shared by every account of a batch.
#pragma once

#include <memory>

#include "common/AdminSession.h"
#include "ldap/LDAPConnection.h"

class DirectorySession {
  public:
    explicit DirectorySession(DirectoryParams params) : params_(std::move(params)) {}

    // Raises MyException(-12, "bind failed..."); a directory that does not
    // answer is named with the time waited.
    void bind();
    // Null until bound, and after unbind().
    LDAPConnection* connection() const { return connection_.get(); }
    void unbind();
    // Whether a failed request means the connection itself is gone.
    static bool isLost(const LDAPException& error);
    // Whether the connection still answers (a failure showed that it may not).
    bool answers();
    // Drops a lost connection and binds a new one; false when that fails.
    bool rebind();
    // Whether the directory stopped answering: a request, or the last bind,
    // was not answered in time.
    bool silent() const;
    // The text for that: "Timed out: the directory <uri> did not answer within ...".
    std::string silence() const;
    const DirectoryParams& params() const { return params_; }

  private:
    DirectoryParams params_;
    std::unique_ptr<LDAPConnection> connection_;
    bool bindUnanswered_ = false;
};
