// How a directory connection is protected: not at all, StartTLS on the
// plain port, or TLS from the first byte (ldaps).
#pragma once

#include <string>

struct LdapTls {
    enum Mode { None, StartTls, Ldaps };
    Mode mode = None;
    // Certificate authorities to trust; empty: libldap's own configuration
    // (ldap.conf TLS_CACERT, LDAPTLS_CACERT).
    std::string caFile;
};
