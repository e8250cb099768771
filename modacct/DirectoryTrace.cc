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

void bindTraced(DirectorySession& session, bool debug) {
    const DirectoryParams& params = session.params();
    if (debug) {
        std::cerr << "modacct: bind to "
                  << LDAPConnection::makeUri(params.host, params.port,
                                             params.tls.mode == LdapTls::Ldaps)
                  << " as uid=" << params.adminLogin << "," << params.baseDN << std::endl;
    }
    session.bind();
}
