// Values of a user entry that follow from others: the common name, the
// groupware selection's parts, the plendar group IDs of the classes, the
// object classes and today's day number.
#pragma once

#include <string>
#include <vector>

#include "ldap/LDAPAttribute.h"

// The given name and the surname, surname first for the country "HU"; the
// surname alone without a given name.
std::string commonName(const std::string& surname, const std::string& givenName,
                       const std::string& country);

// Whether a groupware selection ("all", "plendar", "phpgw", ...) includes
// the calendar (plendar) or the groupware accounts and contact (phpgw).
bool usesPlendar(const std::string& groupware);
bool usesPhpgw(const std::string& groupware);
// The selection that gives an entry these two parts ("all", "plendar",
// "phpgw", or "none" for neither).
std::string groupwareOf(bool plendar, bool phpgw);

// plendarGroupID: the group ID, then the system group ID of each class in
// order. Raises MyException(-18) for a class that names no system group.
LDAPAttribute plendarGroupIds(unsigned gidNumber, const std::vector<std::string>& classes);

// The user entry's object classes, in the order they are written.
LDAPAttribute userObjectClasses(const std::string& groupware, bool extension, unsigned gidNumber);

// Group 103 is the school's workstations: no internet, another school class.
std::string internetDisabled(unsigned gidNumber);

// Whole days since 1970-01-01 UTC, as shadowLastChange and shadowExpire count.
int todayDayNumber();
