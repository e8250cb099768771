// Streaming reader of search responses.
#include "ldap/LDAPSearchResults.h"

#include <ldap.h>

#include "ldap/LDAPException.h"
#include "ldap/LdapSession.h"
#include "ldap/LdapValues.h"

namespace {
struct MsgFree {
    void operator()(LDAPMessage* m) const { ldap_msgfree(m); }
};
struct MemFree {
    void operator()(char* p) const { ldap_memfree(p); }
};
}  // namespace

LDAPSearchResults::~LDAPSearchResults() {
    if (!finished_ && session_->handle && !session_->silent) {
        ldap_abandon_ext(session_->handle, messageId_, nullptr, nullptr);
    }
}

std::unique_ptr<LDAPEntry> LDAPSearchResults::getNext() {
    LDAP* const session = session_->handle;
    while (!finished_) {
        if (session_->silent) {
            finished_ = true;
            throw session_->silence();
        }
        LDAPMessage* raw = nullptr;
        timeval wait = session_->wait();
        int rc = ldap_result(session, messageId_, LDAP_MSG_ONE, &wait, &raw);
        std::unique_ptr<LDAPMessage, MsgFree> message(raw);
        if (rc == 0) {
            finished_ = true;
            session_->fallSilent();
        }
        if (rc < 0) {
            finished_ = true;
            int code = LDAP_OTHER;
            ldap_get_option(session, LDAP_OPT_RESULT_CODE, &code);
            throw LDAPException(code, "");
        }
        switch (ldap_msgtype(raw)) {
            case LDAP_RES_SEARCH_ENTRY:
                return readEntry(session, raw);
            case LDAP_RES_SEARCH_RESULT: {
                finished_ = true;
                int code = LDAP_OTHER;
                char* rawDiagnostic = nullptr;
                int parsed = ldap_parse_result(session, raw, &code, nullptr, &rawDiagnostic,
                                               nullptr, nullptr, 0);
                std::unique_ptr<char, MemFree> diagnostic(rawDiagnostic);
                if (parsed != LDAP_SUCCESS) {
                    throw LDAPException(parsed, "");
                }
                if (code != LDAP_SUCCESS) {
                    throw LDAPException(code, diagnostic ? diagnostic.get() : "");
                }
                return nullptr;
            }
            default:
                break;  // a search reference: not followed
        }
    }
    return nullptr;
}
