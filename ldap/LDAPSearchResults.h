// The entries of one search, read from the connection one message at a time.
#pragma once

#include <memory>

#include "ldap/LDAPEntry.h"

struct LdapSession;

class LDAPSearchResults {
  public:
    // `session` is the connection's state; `messageId` the search request.
    LDAPSearchResults(std::shared_ptr<LdapSession> session, int messageId)
        : session_(std::move(session)), messageId_(messageId) {}
    ~LDAPSearchResults();
    LDAPSearchResults(const LDAPSearchResults&) = delete;
    LDAPSearchResults& operator=(const LDAPSearchResults&) = delete;

    // The next entry, or null once the server has sent the search result.
    // A search that ends in an error (a missing base, for instance) raises
    // LDAPException here, and so does a message that does not come within
    // the connection's answer wait. References to other servers are passed
    // over.
    std::unique_ptr<LDAPEntry> getNext();

  private:
    std::shared_ptr<LdapSession> session_;
    int messageId_;
    bool finished_ = false;
};
