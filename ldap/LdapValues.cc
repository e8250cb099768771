// Marshalling of entries and modifications to and from the C library.
#include "ldap/LdapValues.h"

#include "ldap/LDAPException.h"

namespace {

struct MemFree {
    void operator()(char* p) const { ldap_memfree(p); }
};
struct BerFree {
    void operator()(BerElement* p) const { ber_free(p, 0); }
};
struct ValuesFree {
    void operator()(berval** p) const { ldap_value_free_len(p); }
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
    std::unique_ptr<char, MemFree> dn(ldap_get_dn(session, message));
    LDAPAttributeList attributes;
    BerElement* rawBer = nullptr;
    std::unique_ptr<char, MemFree> name(ldap_first_attribute(session, message, &rawBer));
    std::unique_ptr<BerElement, BerFree> ber(rawBer);
    while (name) {
        LDAPAttribute attribute(name.get());
        std::unique_ptr<berval*, ValuesFree> values(
            ldap_get_values_len(session, message, name.get()));
        for (berval** v = values.get(); v && *v; ++v) {
            attribute.addValue(std::string((*v)->bv_val, (*v)->bv_len));
        }
        attributes.addAttribute(attribute);
        name.reset(ldap_next_attribute(session, message, ber.get()));
    }
    return std::make_unique<LDAPEntry>(dn ? dn.get() : "", std::move(attributes));
}
