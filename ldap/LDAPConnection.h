// A session with one directory server over OpenLDAP's C library: LDAP v3,
// simple bind, and the synchronous search, add, modify and delete requests
// the account programs make. Every failure raises LDAPException. No answer
// is waited for longer than the constraints' answer wait (the TLS handshake
// included): a request not answered in time raises LDAP_TIMEOUT, and from
// then on the connection sends no further request.
#pragma once

#include <memory>
#include <string>

#include "ldap/LDAPConstraints.h"
#include "ldap/LDAPEntry.h"
#include "ldap/LDAPModList.h"
#include "ldap/LDAPSearchResults.h"
#include "ldap/LdapTls.h"
#include "ldap/StringList.h"

struct LdapSession;

class LDAPConnection {
  public:
    enum SearchScope { SEARCH_BASE = 0, SEARCH_ONE = 1, SEARCH_SUB = 2 };

    // Nothing is sent yet; an unusable host or port shows at the first
    // request. With TLS, the server's certificate must verify (chain and
    // name) or no request goes out.
    LDAPConnection(const std::string& host, int port,
                   const LDAPConstraints& constraints = LDAPConstraints(),
                   const LdapTls& tls = LdapTls());
    ~LDAPConnection();
    LDAPConnection(const LDAPConnection&) = delete;
    LDAPConnection& operator=(const LDAPConnection&) = delete;

    // The StartTLS operation; a refusal or a failed handshake raises
    // LDAPException and leaves nothing usable.
    void startTls();

    void bind(const std::string& dn, const std::string& password,
              const LDAPConstraints* constraints = nullptr);

    // Starts the search; the entries arrive one at a time through getNext()
    // of the result, so a large result is never held whole.
    std::unique_ptr<LDAPSearchResults> search(const std::string& base, int scope,
                                              const std::string& filter,
                                              const StringList& attributes = StringList(),
                                              bool attributesOnly = false,
                                              const LDAPConstraints* constraints = nullptr);

    void add(const LDAPEntry* entry, const LDAPConstraints* constraints = nullptr);
    void modify(const std::string& dn, const LDAPModList* modifications,
                const LDAPConstraints* constraints = nullptr);
    void del(const std::string& dn, const LDAPConstraints* constraints = nullptr);
    // The add and modify requests sent without waiting for their answers,
    // so several go out at once; the request's message ID is returned and
    // result() waits for its answer, raising LDAPException as the waiting
    // calls do.
    int startAdd(const LDAPEntry* entry);
    int startModify(const std::string& dn, const LDAPModList* modifications);
    void result(int messageId);
    void unbind();
    // Whether a request was not answered in time (see above).
    bool silent() const;

    // The ldap:// (or ldaps://) URI for a host and port; IPv6 literals are
    // bracketed.
    static std::string makeUri(const std::string& host, int port, bool ldaps = false);
    // The certificate authorities libldap trusts when given none (a file,
    // or else a folder); empty when it is not configured.
    static std::string defaultCaFile();
    static std::string defaultCaFolder();

  private:
    std::shared_ptr<LdapSession> session_;

    // Raises LDAPException for a library call's result code other than
    // success; ends the watch of a TLS handshake the call made.
    void check(int rc);
    [[noreturn]] void fail(int resultCode) const;
};
