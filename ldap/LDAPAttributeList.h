// The attributes of one entry, in the order they were first added. An
// attribute type appears once: adding a second attribute of a type already in
// the list appends its values to the first (a request naming one type twice
// is refused by the server). Type names compare without regard to case.
#pragma once

#include <string>
#include <vector>

#include "ldap/LDAPAttribute.h"

class LDAPAttributeList {
  public:
    void addAttribute(const LDAPAttribute& attribute);
    void addAttribute(LDAPAttribute&& attribute);
    // Puts `attribute` in the place of the one of its type (or at the end).
    void replaceAttribute(const LDAPAttribute& attribute);
    const LDAPAttribute* getAttributeByName(const std::string& name) const;

    size_t size() const { return attributes_.size(); }
    bool empty() const { return attributes_.empty(); }
    std::vector<LDAPAttribute>::const_iterator begin() const { return attributes_.begin(); }
    std::vector<LDAPAttribute>::const_iterator end() const { return attributes_.end(); }

  private:
    std::vector<LDAPAttribute> attributes_;
};
