// DN normalization over libldap's DN parser.
#include "common/DistinguishedName.h"

#include <ldap.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "common/Escape.h"

namespace {

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string text(const berval& value) {
    return std::string(value.bv_val ? value.bv_val : "", value.bv_len);
}

// A value as a case-ignoring match sees it.
std::string foldedValue(const std::string& value) {
    std::string folded;
    for (const char c : value) {
        if (c == ' ' && (folded.empty() || folded.back() == ' ')) {
            continue;
        }
        folded += lowerAscii(c);
    }
    if (!folded.empty() && folded.back() == ' ') {
        folded.pop_back();
    }
    return folded;
}

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out = "#";
    for (const unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 0xf];
    }
    return out;
}

struct DnFree {
    void operator()(LDAPDN dn) const { ldap_dnfree(dn); }
};

}  // namespace

std::optional<std::string> normalizedDN(const std::string& dn) {
    LDAPDN parsed = nullptr;
    if (ldap_str2dn(dn.c_str(), &parsed, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS) {
        return std::nullopt;
    }
    const std::unique_ptr<LDAPRDN, DnFree> owned(parsed);
    std::string normal;
    for (size_t i = 0; parsed && parsed[i]; ++i) {
        std::vector<std::string> avas;
        for (size_t j = 0; parsed[i][j]; ++j) {
            const LDAPAVA& ava = *parsed[i][j];
            std::string type = text(ava.la_attr);
            std::transform(type.begin(), type.end(), type.begin(), lowerAscii);
            // A value given as #hex is the BER of the value: kept as bytes.
            const std::string value = ava.la_flags & LDAP_AVA_BINARY
                                          ? hex(text(ava.la_value))
                                          : escapeDnValue(foldedValue(text(ava.la_value)));
            avas.push_back(type + "=" + value);
        }
        std::sort(avas.begin(), avas.end());
        normal += normal.empty() ? "" : ",";
        for (size_t j = 0; j < avas.size(); ++j) {
            normal += (j ? "+" : "") + avas[j];
        }
    }
    return normal;
}

bool sameDN(const std::string& a, const std::string& b) {
    const std::optional<std::string> left = normalizedDN(a);
    const std::optional<std::string> right = normalizedDN(b);
    return left && right ? *left == *right : a == b;
}
