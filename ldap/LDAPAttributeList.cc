// Merging of attributes by type name.
#include "ldap/LDAPAttributeList.h"

#include <strings.h>

const LDAPAttribute* LDAPAttributeList::getAttributeByName(const std::string& name) const {
    for (const LDAPAttribute& attribute : attributes_) {
        if (strcasecmp(attribute.getName().c_str(), name.c_str()) == 0) {
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
        if (strcasecmp(present.getName().c_str(), attribute.getName().c_str()) == 0) {
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
        if (strcasecmp(present.getName().c_str(), attribute.getName().c_str()) == 0) {
            present = attribute;
            return;
        }
    }
    attributes_.push_back(attribute);
}
