// The state of one directory connection that the connection and the search
// results reading from it share: libldap's handle, how long each answer may
// take, and whether the server has gone silent.
#pragma once

#include <sys/time.h>

#include <memory>
#include <string>

#include "ldap/HandshakeDeadline.h"
#include "ldap/LDAPException.h"

struct ldap;  // the C library's session handle (LDAP)

struct LdapSession {
    ldap* handle = nullptr;
    // "ldap://host:port" (or ldaps), for messages.
    std::string server;
    int waitMs = 30000;
    // Set once an answer did not come in time: a late answer could be read
    // for a later request, so no request goes out any more.
    bool silent = false;
    // Armed while a TLS handshake may be under way.
    std::unique_ptr<HandshakeDeadline> handshake;

    LdapSession() = default;
    ~LdapSession();
    LdapSession(const LdapSession&) = delete;
    LdapSession& operator=(const LdapSession&) = delete;

    timeval wait() const { return {waitMs / 1000, (waitMs % 1000) * 1000}; }
    // The error a request meets on a silent server.
    LDAPException silence() const { return LDAPException::noAnswer(server, waitMs); }
    // Raises LDAPException when no request may go out: not connected, or silent.
    void checkUsable() const;
    // Marks the server silent and raises its error.
    [[noreturn]] void fallSilent();
};
