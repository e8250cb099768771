// Storing the TLS options.
#include "common/TlsOptions.h"

bool TlsOptions::set(const std::string& name, const std::string& value) {
    const bool on = value != "off";
    if (name == "tls") {
        startTls = on;
    } else if (name == "ldaps") {
        ldaps = on;
    } else if (name == "imaps") {
        imaps = on;
    } else if (name == "cacert") {
        caFile = value;
    } else {
        return false;
    }
    return true;
}

LdapTls TlsOptions::directory() const {
    LdapTls tls;
    tls.mode = ldaps ? LdapTls::Ldaps : any() ? LdapTls::StartTls : LdapTls::None;
    tls.caFile = caFile;
    return tls;
}
