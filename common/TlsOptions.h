// The TLS options both programs take: -tls (StartTLS), -ldaps and -imaps
// (TLS from the first byte) and -cacert FILE. Any one of the first three
// protects every connection of the run: the others then use StartTLS.
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
    // True when the run asked for TLS in any form.
    bool any() const { return startTls || ldaps || imaps; }
    // How the directory connection is protected: ldaps, else StartTLS when
    // any TLS was asked for.
    LdapTls directory() const;
};
