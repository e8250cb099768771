// Value bookkeeping of one attribute.
#include "ldap/LDAPAttribute.h"

#include <algorithm>

LDAPAttribute::LDAPAttribute(std::string name, const std::string& value) : name_(std::move(name)) {
    addValue(value);
}

void LDAPAttribute::addValue(const std::string& value) {
    if (std::find(values_.begin(), values_.end(), value) == values_.end()) {
        values_.push_back(value);
    }
}
