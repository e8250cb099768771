// What it takes to make a stored entry hold the wanted values: the modify
// request that changes exactly the attributes whose values differ, so that
// a run with nothing to change writes nothing. Either it replaces values
// whatever the entry holds by then, or it names the values it read, so
// that the directory refuses it once the entry has changed since.
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

// For each of `names` whose values differ as sets: a replace (or a delete
// of the attribute) for a name among `replaced`; for any other name, a
// delete of exactly the stored values that go and an add of the wanted
// values that come. The directory refuses such a modify when the entry no
// longer holds what was read: a value to delete is gone (16), a value to
// add is there (20), a single-valued attribute got a value meanwhile (19).
LDAPModList conditionalChanges(const LDAPAttributeList& stored, const LDAPAttributeList& wanted,
                               const std::vector<std::string>& names,
                               const std::vector<std::string>& replaced);

// Whether a conditional change refused with this result code may mean that
// the entry changed since it was read (16, 20, 19).
bool refusedAsChanged(int resultCode);

// Whether the values of `attribute` form a set that is changed value by
// value (aliases, class group IDs, object classes, members), rather than
// one value taken whole: another run's change of one value leaves the
// others as they are.
bool changesByValue(const std::string& attribute);

// The attributes among `names` whose values differ between `from` and
// `to`, with their values in `from` (an attribute `from` lacks is left out).
LDAPAttributeList changedAttributes(const LDAPAttributeList& from, const LDAPAttributeList& to,
                                    const std::vector<std::string>& names);

// Whether `first` and `second` hold the same values under each name.
bool sameValues(const LDAPAttributeList& first, const LDAPAttributeList& second);

// Every attribute name of `first` and of `second`, once, without case.
std::vector<std::string> attributeNames(const LDAPAttributeList& first,
                                        const LDAPAttributeList& second);

// The user attributes of the entry `dn`, or null when there is no such
// entry. Raises LDAPException for any other failure.
std::unique_ptr<LDAPAttributeList> readEntry(LDAPConnection& connection, const std::string& dn);
