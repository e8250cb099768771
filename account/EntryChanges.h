// What it takes to make a stored entry hold the wanted values: the modify
// request that changes exactly the attributes whose values differ, so that
// a run with nothing to change writes nothing.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ldap/LDAPAttributeList.h"
#include "ldap/LDAPConnection.h"
#include "ldap/LDAPModList.h"

// For each of `names` whose values in `stored` and `wanted` differ as sets
// (values compare byte for byte, names without case): a replace with the
// wanted values, or a delete of the attribute when it has none there.
LDAPModList attributeChanges(const LDAPAttributeList& stored, const LDAPAttributeList& wanted,
                             const std::vector<std::string>& names);

// Every attribute name of `first` and of `second`, once, without case.
std::vector<std::string> attributeNames(const LDAPAttributeList& first,
                                        const LDAPAttributeList& second);

// The user attributes of the entry `dn`, or null when there is no such
// entry. Raises LDAPException for any other failure.
std::unique_ptr<LDAPAttributeList> readEntry(LDAPConnection& connection, const std::string& dn);
