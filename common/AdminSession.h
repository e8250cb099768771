// The directory session both programs open: a connection to the directory
// host and port (plain, StartTLS or ldaps), bound as
// "uid=<admin login>,<base DN>".
#pragma once

#include <memory>
#include <string>

#include "ldap/LDAPConnection.h"
#include "ldap/LDAPException.h"
#include "wire/LineSource.h"

struct DirectoryParams {
    std::string host = "localhost";
    int port = 389;
    std::string baseDN;
    std::string adminLogin;
    std::string adminPassword;
    LdapTls tls;
    // How long each answer may take, the TLS handshake included; as long as
    // an IMAP or Sieve reply.
    int answerWaitMs = ReplyWaits().firstLineMs;
};

// A session that could not be opened: the directory's error and, when it
// lies in TLS (or the server wants TLS), a sentence that says why.
struct AdminSessionError {
    LDAPException error;
    std::string explanation;

    // The library's text for the error, then the explanation behind ": ".
    std::string text() const;
};

// Creates the connection into `connection` before binding (so a failed bind
// leaves it stored), then binds. With StartTLS, nothing is bound unless the
// server's certificate verified. Raises AdminSessionError; the callers turn
// it into their own message and status.
void openAdminSession(std::unique_ptr<LDAPConnection>& connection, const DirectoryParams& params);
