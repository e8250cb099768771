// The directory session both programs open: a connection to the directory
// host and port, bound as "uid=<admin login>,<base DN>".
#pragma once

#include <memory>
#include <string>

#include "ldap/LDAPConnection.h"

struct DirectoryParams {
    std::string host = "localhost";
    int port = 389;
    std::string baseDN;
    std::string adminLogin;
    std::string adminPassword;
};

// Creates the connection into `connection` before binding (so a failed bind
// leaves it stored), then binds. Raises LDAPException; the callers turn it
// into their own message and status.
void openAdminSession(std::unique_ptr<LDAPConnection>& connection, const DirectoryParams& params);
