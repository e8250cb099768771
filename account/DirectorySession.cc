// Binding, and telling a lost connection from a refused request.
#include "account/DirectorySession.h"

#include <ldap.h>

#include "common/MyException.h"

void DirectorySession::bind() {
    bindUnanswered_ = false;
    try {
        openAdminSession(connection_, params_);
    } catch (const AdminSessionError& e) {
        bindUnanswered_ = e.error.timedOut();
        const bool told = !e.explanation.empty() || bindUnanswered_;
        throw MyException(-12, told ? "bind failed: " + e.text() : "bind failed");
    }
}

bool DirectorySession::silent() const {
    return bindUnanswered_ || (connection_ && connection_->silent());
}

std::string DirectorySession::silence() const {
    const std::string server =
        LDAPConnection::makeUri(params_.host, params_.port, params_.tls.mode == LdapTls::Ldaps);
    return LDAPException::noAnswer(server, params_.answerWaitMs).getResultMsg();
}

void DirectorySession::unbind() {
    if (connection_) {
        connection_->unbind();
        connection_.reset();
    }
}

bool DirectorySession::isLost(const LDAPException& error) {
    const int code = error.getResultCode();
    return code == LDAP_SERVER_DOWN || code == LDAP_CONNECT_ERROR || code == LDAP_TIMEOUT;
}

bool DirectorySession::answers() {
    if (!connection_) {
        return false;
    }
    try {
        connection_
            ->search(params_.baseDN, LDAPConnection::SEARCH_BASE, "(objectClass=*)",
                     StringList{"1.1"})
            ->getNext();
        return true;
    } catch (const LDAPException& e) {
        return !isLost(e);
    }
}

bool DirectorySession::rebind() {
    connection_.reset();
    try {
        bind();
        return true;
    } catch (const MyException&) {
        connection_.reset();
        return false;
    }
}
