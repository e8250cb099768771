// The administrator's bind.
#include "common/AdminSession.h"

#include <ldap.h>

#include "common/DirectoryTls.h"

namespace {

std::string explain(const LDAPException& error, const DirectoryParams& params, bool tlsStarted) {
    const int code = error.getResultCode();
    if (params.tls.mode == LdapTls::None) {
        return code == LDAP_CONFIDENTIALITY_REQUIRED ? "the server requires TLS: use -tls or -ldaps"
                                                     : "";
    }
    if (params.tls.mode == LdapTls::StartTls && !tlsStarted && code > 0) {
        return "the server refused StartTLS, so nothing was sent in clear";
    }
    if (code != LDAP_CONNECT_ERROR && code != LDAP_SERVER_DOWN) {
        return "";
    }
    const std::string reason =
        diagnoseDirectoryTls(params.host, params.port, params.tls, params.answerWaitMs);
    return reason.empty() ? "" : "TLS: " + reason;
}

}  // namespace

std::string AdminSessionError::text() const {
    return error.getResultMsg() + (explanation.empty() ? "" : ": " + explanation);
}

void openAdminSession(std::unique_ptr<LDAPConnection>& connection, const DirectoryParams& params) {
    bool tlsStarted = false;
    try {
        LDAPConstraints constraints;
        constraints.answerWaitMs = params.answerWaitMs;
        connection =
            std::make_unique<LDAPConnection>(params.host, params.port, constraints, params.tls);
        if (params.tls.mode == LdapTls::StartTls) {
            connection->startTls();
        }
        tlsStarted = true;
        // The admin login and base DN are the administrator's own
        // configuration and go in as given.
        connection->bind("uid=" + params.adminLogin + "," + params.baseDN, params.adminPassword);
    } catch (const LDAPException& e) {
        // Closed first: a connection whose TLS failed is of no further use.
        if (params.tls.mode != LdapTls::None) {
            connection.reset();
        }
        throw AdminSessionError{e, explain(e, params, tlsStarted)};
    }
}
