// Marshalling of entries and modifications to and from the C library.
#include "ldap/LdapValues.h"

#include "ldap/LDAPException.h"

namespace {

struct BerFree {
    void operator()(BerElement* p) const { ber_free(p, 0); }
};
struct BerMemFree {
    void operator()(berval* p) const { ber_memfree(p); }
};

}  // namespace

void LdapModArray::add(int operation, const LDAPAttribute& attribute) {
    std::vector<berval> values;
    for (const std::string& value : attribute.getValues()) {
        berval bv;
        bv.bv_len = value.size();
        bv.bv_val = const_cast<char*>(value.data());
        values.push_back(bv);
    }
    values_.push_back(std::move(values));
    LDAPMod mod{};
    mod.mod_op = operation | LDAP_MOD_BVALUES;
    mod.mod_type = const_cast<char*>(attribute.getName().c_str());
    mods_.push_back(mod);
}

LDAPMod** LdapModArray::get() {
    // Pointers are taken only now, when the vectors no longer grow.
    valuePointers_.clear();
    modPointers_.clear();
    for (size_t i = 0; i < mods_.size(); ++i) {
        std::vector<berval*> pointers;
        for (berval& bv : values_[i]) {
            pointers.push_back(&bv);
        }
        pointers.push_back(nullptr);
        valuePointers_.push_back(std::move(pointers));
    }
    for (size_t i = 0; i < mods_.size(); ++i) {
        mods_[i].mod_bvalues = valuePointers_[i].data();
        modPointers_.push_back(&mods_[i]);
    }
    modPointers_.push_back(nullptr);
    return modPointers_.data();
}

std::unique_ptr<LDAPEntry> readEntry(LDAP* session, LDAPMessage* message) {
    // One pass over the message: each attribute's values as the reader
    // meets them (asking for an attribute by name reads the entry from its
    // start again, which a large search pays for every attribute).
    BerElement* rawBer = nullptr;
    berval dn{};
    const int found = ldap_get_dn_ber(session, message, &rawBer, &dn);
    std::unique_ptr<BerElement, BerFree> ber(rawBer);
    LDAPAttributeList attributes;
    if (found != LDAP_SUCCESS) {
        return std::make_unique<LDAPEntry>("", std::move(attributes));
    }
    std::string name(dn.bv_val ? dn.bv_val : "", dn.bv_val ? dn.bv_len : 0);
    berval type{};
    berval* rawValues = nullptr;
    while (ldap_get_attribute_ber(session, message, ber.get(), &type, &rawValues) == LDAP_SUCCESS &&
           type.bv_val) {
        std::unique_ptr<berval, BerMemFree> values(rawValues);
        std::vector<std::string> all;
        for (const berval* v = rawValues; v && v->bv_val; ++v) {
            all.emplace_back(v->bv_val, v->bv_len);
        }
        attributes.addAttribute(
            LDAPAttribute(std::string(type.bv_val, type.bv_len), std::move(all)));
    }
    return std::make_unique<LDAPEntry>(std::move(name), std::move(attributes));
}
