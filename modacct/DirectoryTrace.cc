// Tracing to standard error.
#include "modacct/DirectoryTrace.h"

#include <iostream>

#include "account/DirectorySession.h"
#include "ldap/LDAPConnection.h"

ChangeEngine::Trace engineTrace(bool debug) {
    if (!debug) {
        return nullptr;
    }
    return [](const std::string& line) { std::cerr << line << std::endl; };
}

void bindTraced(DirectorySession& session, bool debug, const std::string& program) {
    const DirectoryParams& params = session.params();
    if (debug) {
        std::cerr << program << ": bind to "
                  << LDAPConnection::makeUri(params.host, params.port,
                                             params.tls.mode == LdapTls::Ldaps)
                  << " as uid=" << params.adminLogin << "," << params.baseDN << std::endl;
    }
    session.bind();
}
