// A directory entry: its distinguished name and its attributes.
#pragma once

#include <string>

#include "ldap/LDAPAttributeList.h"

class LDAPEntry {
  public:
    LDAPEntry(std::string dn, LDAPAttributeList attributes)
        : dn_(std::move(dn)), attributes_(std::move(attributes)) {}

    const std::string& getDN() const { return dn_; }
    const LDAPAttributeList* getAttributes() const { return &attributes_; }
    // Hands the attributes over to a caller that keeps them (the entry is
    // left without any).
    LDAPAttributeList releaseAttributes() { return std::move(attributes_); }

  private:
    std::string dn_;
    LDAPAttributeList attributes_;
};
