// Directory requests over OpenLDAP's C library.
#include "ldap/LDAPConnection.h"

#include <ldap.h>

#include "ldap/LDAPException.h"
#include "ldap/LdapSession.h"
#include "ldap/LdapValues.h"

LdapSession::~LdapSession() {
    handshake.reset();
    if (handle) {
        if (silent) {
            // Nothing more is sent to a server that stopped answering.
            ldap_destroy(handle);
        } else {
            ldap_unbind_ext_s(handle, nullptr, nullptr);
        }
    }
}

void LdapSession::checkUsable() const {
    if (!handle) {
        throw LDAPException(LDAP_SERVER_DOWN, "");
    }
    if (silent) {
        throw silence();
    }
}

void LdapSession::fallSilent() {
    silent = true;
    throw silence();
}

namespace {
struct MemFree {
    void operator()(char* p) const { ldap_memfree(p); }
};
}  // namespace

std::string LDAPConnection::makeUri(const std::string& host, int port, bool ldaps) {
    std::string hostPart = host;
    if (host.find(':') != std::string::npos && host.front() != '[') {
        hostPart = "[" + host + "]";
    }
    return (ldaps ? "ldaps://" : "ldap://") + hostPart + ":" + std::to_string(port);
}

namespace {
std::string globalTextOption(int option) {
    char* raw = nullptr;
    ldap_get_option(nullptr, option, &raw);
    std::unique_ptr<char, MemFree> value(raw);
    return value ? value.get() : "";
}
}  // namespace

std::string LDAPConnection::defaultCaFile() {
    return globalTextOption(LDAP_OPT_X_TLS_CACERTFILE);
}

std::string LDAPConnection::defaultCaFolder() {
    return globalTextOption(LDAP_OPT_X_TLS_CACERTDIR);
}

namespace {
// libldap calls this right before each TLS handshake (StartTLS, or ldaps at
// the first request).
int watchHandshake(LDAP* handle, void* /*tls*/, void* /*context*/, void* state) {
    LdapSession& session = *static_cast<LdapSession*>(state);
    int fd = -1;
    if (ldap_get_option(handle, LDAP_OPT_DESC, &fd) == LDAP_OPT_SUCCESS && fd >= 0) {
        session.handshake = std::make_unique<HandshakeDeadline>(fd, session.waitMs);
    }
    return 0;
}
}  // namespace

LDAPConnection::LDAPConnection(const std::string& host, int port,
                               const LDAPConstraints& constraints, const LdapTls& tls)
    : session_(std::make_shared<LdapSession>()) {
    session_->server = makeUri(host, port, tls.mode == LdapTls::Ldaps);
    session_->waitMs = constraints.answerWaitMs;
    int rc = ldap_initialize(&session_->handle, session_->server.c_str());
    if (rc != LDAP_SUCCESS) {
        session_->handle = nullptr;
        throw LDAPException(rc, "");
    }
    LDAP* const handle = session_->handle;
    int version = LDAP_VERSION3;
    ldap_set_option(handle, LDAP_OPT_PROTOCOL_VERSION, &version);
    timeval networkTimeout{constraints.networkTimeoutSeconds, 0};
    ldap_set_option(handle, LDAP_OPT_NETWORK_TIMEOUT, &networkTimeout);
    // The wait of every synchronous request (bind, add, modify, delete,
    // StartTLS); searches and the answers to requests sent ahead wait as
    // long through ldap_result's own limit.
    const timeval answerWait = session_->wait();
    ldap_set_option(handle, LDAP_OPT_TIMEOUT, &answerWait);
    ldap_set_option(handle, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    if (tls.mode != LdapTls::None) {
        ldap_set_option(handle, LDAP_OPT_X_TLS_CONNECT_CB,
                        reinterpret_cast<void*>(&watchHandshake));
        ldap_set_option(handle, LDAP_OPT_X_TLS_CONNECT_ARG, session_.get());
        int demand = LDAP_OPT_X_TLS_DEMAND;
        ldap_set_option(handle, LDAP_OPT_X_TLS_REQUIRE_CERT, &demand);
        // A handle starts without the authorities of ldap.conf: they are
        // set here, or with -cacert that file alone (a TLS_CACERTDIR beside
        // it would widen the trust it asks for).
        const std::string file = tls.caFile.empty() ? defaultCaFile() : tls.caFile;
        const std::string folder = tls.caFile.empty() ? defaultCaFolder() : "";
        ldap_set_option(handle, LDAP_OPT_X_TLS_CACERTFILE, file.empty() ? nullptr : file.c_str());
        ldap_set_option(handle, LDAP_OPT_X_TLS_CACERTDIR,
                        folder.empty() ? nullptr : folder.c_str());
        // Options set on a handle count only for a context made after them.
        int server = 0;
        rc = ldap_set_option(handle, LDAP_OPT_X_TLS_NEWCTX, &server);
        if (rc != LDAP_OPT_SUCCESS) {
            fail(LDAP_CONNECT_ERROR);
        }
    }
}

void LDAPConnection::startTls() {
    session_->checkUsable();
    check(ldap_start_tls_s(session_->handle, nullptr, nullptr));
}

LDAPConnection::~LDAPConnection() = default;

bool LDAPConnection::silent() const {
    return session_->silent;
}

void LDAPConnection::check(int rc) {
    LdapSession& session = *session_;
    if (session.handshake) {
        const bool expired = session.handshake->expired();
        // A connection still open (its server answered) goes on as libldap
        // set it up.
        if (!expired && rc >= 0) {
            session.handshake->restoreMode();
        }
        session.handshake.reset();
        if (expired) {
            session.fallSilent();
        }
    }
    if (rc == LDAP_TIMEOUT) {
        session.fallSilent();
    }
    if (rc != LDAP_SUCCESS) {
        fail(rc);
    }
}

void LDAPConnection::fail(int resultCode) const {
    std::string serverMessage;
    std::string referral;
    if (LDAP* const handle = session_->handle) {
        char* raw = nullptr;
        ldap_get_option(handle, LDAP_OPT_DIAGNOSTIC_MESSAGE, &raw);
        std::unique_ptr<char, MemFree> diagnostic(raw);
        if (diagnostic) {
            serverMessage = diagnostic.get();
        }
        char** urls = nullptr;
        if (resultCode == LDAP_REFERRAL &&
            ldap_get_option(handle, LDAP_OPT_REFERRAL_URLS, &urls) == LDAP_OPT_SUCCESS && urls) {
            if (urls[0]) {
                // The server's part, without the entry's DN.
                referral = urls[0];
                const size_t scheme = referral.find("://");
                referral = referral.substr(
                    0, referral.find('/', scheme == std::string::npos ? 0 : scheme + 3));
            }
            ber_memvfree(reinterpret_cast<void**>(urls));
        }
    }
    throw LDAPException(resultCode, serverMessage, referral);
}

void LDAPConnection::bind(const std::string& dn, const std::string& password,
                          const LDAPConstraints*) {
    session_->checkUsable();
    berval credentials;
    credentials.bv_len = password.size();
    credentials.bv_val = const_cast<char*>(password.data());
    check(ldap_sasl_bind_s(session_->handle, dn.c_str(), LDAP_SASL_SIMPLE, &credentials, nullptr,
                           nullptr, nullptr));
}

std::unique_ptr<LDAPSearchResults> LDAPConnection::search(const std::string& base, int scope,
                                                          const std::string& filter,
                                                          const StringList& attributes,
                                                          bool attributesOnly,
                                                          const LDAPConstraints*) {
    session_->checkUsable();
    std::vector<char*> names;
    for (const std::string& name : attributes) {
        names.push_back(const_cast<char*>(name.c_str()));
    }
    names.push_back(nullptr);
    int messageId = 0;
    check(ldap_search_ext(session_->handle, base.c_str(), scope, filter.c_str(),
                          attributes.empty() ? nullptr : names.data(), attributesOnly ? 1 : 0,
                          nullptr, nullptr, nullptr, LDAP_NO_LIMIT, &messageId));
    return std::make_unique<LDAPSearchResults>(session_, messageId);
}

void LDAPConnection::add(const LDAPEntry* entry, const LDAPConstraints*) {
    session_->checkUsable();
    LdapModArray mods;
    for (const LDAPAttribute& attribute : *entry->getAttributes()) {
        mods.add(LDAP_MOD_ADD, attribute);
    }
    check(ldap_add_ext_s(session_->handle, entry->getDN().c_str(), mods.get(), nullptr, nullptr));
}

void LDAPConnection::modify(const std::string& dn, const LDAPModList* modifications,
                            const LDAPConstraints*) {
    session_->checkUsable();
    LdapModArray mods;
    for (const LDAPModification& modification : *modifications) {
        mods.add(modification.getOperation(), modification.getAttribute());
    }
    check(ldap_modify_ext_s(session_->handle, dn.c_str(), mods.get(), nullptr, nullptr));
}

void LDAPConnection::del(const std::string& dn, const LDAPConstraints*) {
    session_->checkUsable();
    check(ldap_delete_ext_s(session_->handle, dn.c_str(), nullptr, nullptr));
}

int LDAPConnection::startAdd(const LDAPEntry* entry) {
    session_->checkUsable();
    LdapModArray mods;
    for (const LDAPAttribute& attribute : *entry->getAttributes()) {
        mods.add(LDAP_MOD_ADD, attribute);
    }
    int messageId = 0;
    check(ldap_add_ext(session_->handle, entry->getDN().c_str(), mods.get(), nullptr, nullptr,
                       &messageId));
    return messageId;
}

int LDAPConnection::startModify(const std::string& dn, const LDAPModList* modifications) {
    session_->checkUsable();
    LdapModArray mods;
    for (const LDAPModification& modification : *modifications) {
        mods.add(modification.getOperation(), modification.getAttribute());
    }
    int messageId = 0;
    check(ldap_modify_ext(session_->handle, dn.c_str(), mods.get(), nullptr, nullptr, &messageId));
    return messageId;
}

void LDAPConnection::result(int messageId) {
    session_->checkUsable();
    LDAPMessage* answer = nullptr;
    timeval wait = session_->wait();
    const int received = ldap_result(session_->handle, messageId, LDAP_MSG_ALL, &wait, &answer);
    if (received == 0) {
        session_->fallSilent();
    }
    if (received < 0) {
        int code = LDAP_SERVER_DOWN;
        ldap_get_option(session_->handle, LDAP_OPT_RESULT_CODE, &code);
        fail(code == LDAP_SUCCESS ? LDAP_SERVER_DOWN : code);
    }
    int code = LDAP_SUCCESS;
    // Parsing keeps the diagnostic message and referral where fail() reads them.
    const int rc =
        ldap_parse_result(session_->handle, answer, &code, nullptr, nullptr, nullptr, nullptr, 1);
    if (rc != LDAP_SUCCESS) {
        fail(rc);
    }
    if (code != LDAP_SUCCESS) {
        fail(code);
    }
}

void LDAPConnection::unbind() {
    // Search results still being read keep the old session until they end.
    session_ = std::make_shared<LdapSession>();
}
