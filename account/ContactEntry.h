// The groupware contact card of an account, uid=<login>:system in the
// shared address book: what it holds, made from the account's values.
#pragma once

#include <string>

#include "ldap/LDAPAttributeList.h"

struct ContactValues {
    std::string login;
    std::string givenName;
    std::string surname;
    std::string commonName;
    std::string mail;
    std::string description;
    std::string organisationalUnit;
    unsigned uidNumber = 0;
    unsigned gidNumber = 0;
};

// The card's attributes in the order they are written. An empty given name
// or mail address is left out (the directory refuses an empty givenName,
// and an attribute without values is a protocol error).
LDAPAttributeList contactAttributes(const ContactValues& values);
