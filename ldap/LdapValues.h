// Conversions between our attribute classes and the C library's structures
// (berval arrays and LDAPMod records), binary-safe both ways.
#pragma once

#include <ldap.h>

#include <memory>
#include <vector>

#include "ldap/LDAPAttribute.h"
#include "ldap/LDAPEntry.h"

// Owns the LDAPMod array of one request; the bervals point into the
// attributes' strings, which must outlive it.
class LdapModArray {
  public:
    void add(int operation, const LDAPAttribute& attribute);
    LDAPMod** get();

  private:
    std::vector<std::vector<berval>> values_;
    std::vector<std::vector<berval*>> valuePointers_;
    std::vector<LDAPMod> mods_;
    std::vector<LDAPMod*> modPointers_;
};

// Reads the DN and attributes of one search entry message.
std::unique_ptr<LDAPEntry> readEntry(LDAP* session, LDAPMessage* message);
