// Directory changes written down instead of made: LDIF change records
// (RFC 2849) that ldapmodify applies as they stand, for the programs' plan
// mode (-dryrun). The plan is kept until it is complete: a run that fails
// halfway prints none of it, so no part of a plan can be applied.
#pragma once

#include <ostream>
#include <sstream>
#include <string>

#include "ldap/LDAPAttributeList.h"
#include "ldap/LDAPModList.h"

class LdifWriter {
  public:
    explicit LdifWriter(std::ostream& target) : target_(target) {}

    // Writes the plan kept so far to the target stream.
    void publish();

    // A comment line ("# text"); ldapmodify passes over it. A CR or LF in
    // `text` is written as \r or \n.
    void comment(const std::string& text);
    void add(const std::string& dn, const LDAPAttributeList& attributes);
    void modify(const std::string& dn, const LDAPModList& modifications);
    void remove(const std::string& dn);

  private:
    // "name: value", or "name:: base64" for a value LDIF cannot carry as it is.
    void line(const std::string& name, const std::string& value);

    std::ostream& target_;
    std::ostringstream out_;
};
