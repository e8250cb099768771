// Directory requests over OpenLDAP's C library.
#include "ldap/LDAPConnection.h"

#include <ldap.h>

#include "ldap/LDAPException.h"
#include "ldap/LdapValues.h"

struct LDAPConnection::Handle {
    LDAP* session = nullptr;
    ~Handle() {
        if (session) {
            ldap_unbind_ext_s(session, nullptr, nullptr);
        }
    }
};

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

LDAPConnection::LDAPConnection(const std::string& host, int port,
                               const LDAPConstraints& constraints, const LdapTls& tls)
    : handle_(std::make_unique<Handle>()) {
    int rc =
        ldap_initialize(&handle_->session, makeUri(host, port, tls.mode == LdapTls::Ldaps).c_str());
    if (rc != LDAP_SUCCESS) {
        handle_->session = nullptr;
        throw LDAPException(rc, "");
    }
    int version = LDAP_VERSION3;
    ldap_set_option(handle_->session, LDAP_OPT_PROTOCOL_VERSION, &version);
    timeval networkTimeout{constraints.networkTimeoutSeconds, 0};
    ldap_set_option(handle_->session, LDAP_OPT_NETWORK_TIMEOUT, &networkTimeout);
    ldap_set_option(handle_->session, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    if (tls.mode != LdapTls::None) {
        int demand = LDAP_OPT_X_TLS_DEMAND;
        ldap_set_option(handle_->session, LDAP_OPT_X_TLS_REQUIRE_CERT, &demand);
        // A handle starts without the authorities of ldap.conf: they are
        // set here, or with -cacert that file alone (a TLS_CACERTDIR beside
        // it would widen the trust it asks for).
        const std::string file = tls.caFile.empty() ? defaultCaFile() : tls.caFile;
        const std::string folder = tls.caFile.empty() ? defaultCaFolder() : "";
        ldap_set_option(handle_->session, LDAP_OPT_X_TLS_CACERTFILE,
                        file.empty() ? nullptr : file.c_str());
        ldap_set_option(handle_->session, LDAP_OPT_X_TLS_CACERTDIR,
                        folder.empty() ? nullptr : folder.c_str());
        // Options set on a handle count only for a context made after them.
        int server = 0;
        rc = ldap_set_option(handle_->session, LDAP_OPT_X_TLS_NEWCTX, &server);
        if (rc != LDAP_OPT_SUCCESS) {
            fail(LDAP_CONNECT_ERROR);
        }
    }
}

void LDAPConnection::startTls() {
    if (!handle_->session) {
        throw LDAPException(LDAP_SERVER_DOWN, "");
    }
    const int rc = ldap_start_tls_s(handle_->session, nullptr, nullptr);
    if (rc != LDAP_SUCCESS) {
        fail(rc);
    }
}

LDAPConnection::~LDAPConnection() = default;

void LDAPConnection::fail(int resultCode) const {
    std::string serverMessage;
    std::string referral;
    if (handle_->session) {
        char* raw = nullptr;
        ldap_get_option(handle_->session, LDAP_OPT_DIAGNOSTIC_MESSAGE, &raw);
        std::unique_ptr<char, MemFree> diagnostic(raw);
        if (diagnostic) {
            serverMessage = diagnostic.get();
        }
        char** urls = nullptr;
        if (resultCode == LDAP_REFERRAL &&
            ldap_get_option(handle_->session, LDAP_OPT_REFERRAL_URLS, &urls) == LDAP_OPT_SUCCESS &&
            urls) {
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
    if (!handle_->session) {
        throw LDAPException(LDAP_SERVER_DOWN, "");
    }
    berval credentials;
    credentials.bv_len = password.size();
    credentials.bv_val = const_cast<char*>(password.data());
    int rc = ldap_sasl_bind_s(handle_->session, dn.c_str(), LDAP_SASL_SIMPLE, &credentials, nullptr,
                              nullptr, nullptr);
    if (rc != LDAP_SUCCESS) {
        fail(rc);
    }
}

std::unique_ptr<LDAPSearchResults> LDAPConnection::search(const std::string& base, int scope,
                                                          const std::string& filter,
                                                          const StringList& attributes,
                                                          bool attributesOnly,
                                                          const LDAPConstraints*) {
    if (!handle_->session) {
        throw LDAPException(LDAP_SERVER_DOWN, "");
    }
    std::vector<char*> names;
    for (const std::string& name : attributes) {
        names.push_back(const_cast<char*>(name.c_str()));
    }
    names.push_back(nullptr);
    int messageId = 0;
    int rc = ldap_search_ext(handle_->session, base.c_str(), scope, filter.c_str(),
                             attributes.empty() ? nullptr : names.data(), attributesOnly ? 1 : 0,
                             nullptr, nullptr, nullptr, LDAP_NO_LIMIT, &messageId);
    if (rc != LDAP_SUCCESS) {
        fail(rc);
    }
    return std::make_unique<LDAPSearchResults>(handle_->session, messageId);
}

void LDAPConnection::add(const LDAPEntry* entry, const LDAPConstraints*) {
    if (!handle_->session) {
        throw LDAPException(LDAP_SERVER_DOWN, "");
    }
    LdapModArray mods;
    for (const LDAPAttribute& attribute : *entry->getAttributes()) {
        mods.add(LDAP_MOD_ADD, attribute);
    }
    int rc = ldap_add_ext_s(handle_->session, entry->getDN().c_str(), mods.get(), nullptr, nullptr);
    if (rc != LDAP_SUCCESS) {
        fail(rc);
    }
}

void LDAPConnection::modify(const std::string& dn, const LDAPModList* modifications,
                            const LDAPConstraints*) {
    if (!handle_->session) {
        throw LDAPException(LDAP_SERVER_DOWN, "");
    }
    LdapModArray mods;
    for (const LDAPModification& modification : *modifications) {
        mods.add(modification.getOperation(), modification.getAttribute());
    }
    int rc = ldap_modify_ext_s(handle_->session, dn.c_str(), mods.get(), nullptr, nullptr);
    if (rc != LDAP_SUCCESS) {
        fail(rc);
    }
}

void LDAPConnection::del(const std::string& dn, const LDAPConstraints*) {
    if (!handle_->session) {
        throw LDAPException(LDAP_SERVER_DOWN, "");
    }
    int rc = ldap_delete_ext_s(handle_->session, dn.c_str(), nullptr, nullptr);
    if (rc != LDAP_SUCCESS) {
        fail(rc);
    }
}

int LDAPConnection::startAdd(const LDAPEntry* entry) {
    if (!handle_->session) {
        throw LDAPException(LDAP_SERVER_DOWN, "");
    }
    LdapModArray mods;
    for (const LDAPAttribute& attribute : *entry->getAttributes()) {
        mods.add(LDAP_MOD_ADD, attribute);
    }
    int messageId = 0;
    const int rc = ldap_add_ext(handle_->session, entry->getDN().c_str(), mods.get(), nullptr,
                                nullptr, &messageId);
    if (rc != LDAP_SUCCESS) {
        fail(rc);
    }
    return messageId;
}

int LDAPConnection::startModify(const std::string& dn, const LDAPModList* modifications) {
    if (!handle_->session) {
        throw LDAPException(LDAP_SERVER_DOWN, "");
    }
    LdapModArray mods;
    for (const LDAPModification& modification : *modifications) {
        mods.add(modification.getOperation(), modification.getAttribute());
    }
    int messageId = 0;
    const int rc =
        ldap_modify_ext(handle_->session, dn.c_str(), mods.get(), nullptr, nullptr, &messageId);
    if (rc != LDAP_SUCCESS) {
        fail(rc);
    }
    return messageId;
}

void LDAPConnection::result(int messageId) {
    if (!handle_->session) {
        throw LDAPException(LDAP_SERVER_DOWN, "");
    }
    LDAPMessage* answer = nullptr;
    if (ldap_result(handle_->session, messageId, LDAP_MSG_ALL, nullptr, &answer) <= 0) {
        int code = LDAP_SERVER_DOWN;
        ldap_get_option(handle_->session, LDAP_OPT_RESULT_CODE, &code);
        fail(code == LDAP_SUCCESS ? LDAP_SERVER_DOWN : code);
    }
    int code = LDAP_SUCCESS;
    // Parsing keeps the diagnostic message and referral where fail() reads them.
    const int rc =
        ldap_parse_result(handle_->session, answer, &code, nullptr, nullptr, nullptr, nullptr, 1);
    if (rc != LDAP_SUCCESS) {
        fail(rc);
    }
    if (code != LDAP_SUCCESS) {
        fail(code);
    }
}

void LDAPConnection::unbind() {
    handle_ = std::make_unique<Handle>();
}
