// The ordered changes of one modify request.
#pragma once

#include <vector>

#include "ldap/LDAPModification.h"

class LDAPModList {
  public:
    void addModification(const LDAPModification& modification) {
        modifications_.push_back(modification);
    }
    std::vector<LDAPModification>::const_iterator begin() const { return modifications_.begin(); }
    std::vector<LDAPModification>::const_iterator end() const { return modifications_.end(); }
    size_t size() const { return modifications_.size(); }

  private:
    std::vector<LDAPModification> modifications_;
};
