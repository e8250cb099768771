// The entries of one search, read from the connection one message at a time.
#pragma once

#include <memory>

#include "ldap/LDAPEntry.h"

struct ldap;  // the C library's session handle (LDAP)

class LDAPSearchResults {
  public:
    // `session` is the library's LDAP handle; `messageId` the search request.
    LDAPSearchResults(ldap* session, int messageId) : session_(session), messageId_(messageId) {}
    ~LDAPSearchResults();
    LDAPSearchResults(const LDAPSearchResults&) = delete;
    LDAPSearchResults& operator=(const LDAPSearchResults&) = delete;

    // The next entry, or null once the server has sent the search result.
    // A search that ends in an error (a missing base, for instance) raises
    // LDAPException here. References to other servers are passed over.
    std::unique_ptr<LDAPEntry> getNext();

  private:
    ldap* session_;
    int messageId_;
    bool finished_ = false;
};
