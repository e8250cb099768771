// Directory changes written down instead of made: LDIF change records
// (RFC 2849) that ldapmodify applies as they stand, for the programs' plan
// mode (-dryrun).
#pragma once

#include <ostream>
#include <string>

#include "ldap/LDAPAttributeList.h"
#include "ldap/LDAPModList.h"

class LdifWriter {
  public:
    explicit LdifWriter(std::ostream& out) : out_(out) {}

    // A comment line ("# text"); ldapmodify passes over it.
    void comment(const std::string& text);
    void add(const std::string& dn, const LDAPAttributeList& attributes);
    void modify(const std::string& dn, const LDAPModList& modifications);
    void remove(const std::string& dn);

  private:
    // "name: value", or "name:: base64" for a value LDIF cannot carry as it is.
    void line(const std::string& name, const std::string& value);

    std::ostream& out_;
};
