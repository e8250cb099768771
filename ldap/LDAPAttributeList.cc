// Merging of attributes by type name.
#include "ldap/LDAPAttributeList.h"

#include <strings.h>

namespace {

// Type names match without regard to case; names of other lengths, most of
// those an entry holds, are passed over without comparing them.
bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strcasecmp(a.c_str(), b.c_str()) == 0;
}

}  // namespace

const LDAPAttribute* LDAPAttributeList::getAttributeByName(const std::string& name) const {
    for (const LDAPAttribute& attribute : attributes_) {
        if (sameName(attribute.getName(), name)) {
            return &attribute;
        }
    }
    return nullptr;
}

void LDAPAttributeList::addAttribute(const LDAPAttribute& attribute) {
    addAttribute(LDAPAttribute(attribute));
}

void LDAPAttributeList::addAttribute(LDAPAttribute&& attribute) {
    for (LDAPAttribute& present : attributes_) {
        if (sameName(present.getName(), attribute.getName())) {
            for (const std::string& value : attribute.getValues()) {
                present.addValue(value);
            }
            return;
        }
    }
    attributes_.push_back(std::move(attribute));
}

void LDAPAttributeList::replaceAttribute(const LDAPAttribute& attribute) {
    for (LDAPAttribute& present : attributes_) {
        if (sameName(present.getName(), attribute.getName())) {
            present = attribute;
            return;
        }
    }
    attributes_.push_back(attribute);
}
