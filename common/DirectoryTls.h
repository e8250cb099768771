// Why TLS with the directory failed. libldap only reports "Connect error"
// or "Can't contact LDAP server" with "(unknown error code)"; the reason
// (an unknown issuer, an expired certificate, a name mismatch) is found
// again on a connection of our own that sends no credential.
#pragma once

#include <string>

#include "ldap/LdapTls.h"

// The reason, or an empty text when our own connection sees no TLS failure
// (the server is down, say). Each step waits at most `waitMs`.
std::string diagnoseDirectoryTls(const std::string& host, int port, const LdapTls& tls, int waitMs);
