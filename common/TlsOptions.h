// The TLS options both programs take: -tls (StartTLS on every connection),
// -ldaps and -imaps (TLS from the first byte) and -cacert FILE.
#pragma once

#include <string>

#include "ldap/LdapTls.h"

struct TlsOptions {
    bool startTls = false;
    bool ldaps = false;
    bool imaps = false;
    std::string caFile;

    // Stores the option when `name` is one of them; a flag is on unless its
    // value is "off" (standard input may say "tls" or "tls=on").
    bool set(const std::string& name, const std::string& value);
    // How the directory connection is protected: ldaps wins over StartTLS.
    LdapTls directory() const;
};
