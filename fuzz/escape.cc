// Filter and DN escaping on arbitrary values: an escaped value is one
// assertion value, and a DN built from it parses (with the LDAP library's
// own parser) to exactly the value as its first RDN.
#include <ldap.h>

#include <cstdlib>
#include <cstring>

#include "common/Escape.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string value = asString(data, size);

    const std::string filter = "(uid=" + escapeFilterValue(value) + ")";
    for (size_t i = 5; i + 1 < filter.size(); ++i) {
        const char c = filter[i];
        if (c == '(' || c == ')' || c == '*' || c == '\0')
            std::abort();
    }

    const std::string dn = "uid=" + escapeDnValue(value) + ",o=site";
    LDAPDN parsed = nullptr;
    berval text{dn.size(), const_cast<char*>(dn.data())};
    if (ldap_bv2dn(&text, &parsed, LDAP_DN_FORMAT_LDAPV3) == LDAP_SUCCESS) {
        int rdns = 0;
        while (parsed[rdns])
            ++rdns;
        const LDAPAVA* ava = parsed[0][0];
        if (rdns != 2 || parsed[0][1] ||
            std::string(ava->la_value.bv_val, ava->la_value.bv_len) != value) {
            std::abort();
        }
        ldap_dnfree(parsed);
    } else if (!value.empty() && value.find('\0') == std::string::npos) {
        // Every non-empty value must give a valid DN; the library refuses
        // an escaped NUL, so such a DN is refused as a whole.
        std::abort();
    }
    return 0;
}
