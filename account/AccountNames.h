// Where an account's entries lie in the directory, below the base DN. The
// login and class names are escaped; the base DN is the administrator's own
// configuration and goes in as given.
#pragma once

#include <string>

// uid=<login>,<base>
std::string userDn(const std::string& login, const std::string& baseDN);
// uid=<login>:system,o=AddressBook,<base>: the groupware contact card
std::string contactDn(const std::string& login, const std::string& baseDN);
// cn=<class>,<base>: a class's POSIX group
std::string classGroupDn(const std::string& name, const std::string& baseDN);
// cn=AddressAdmins,o=Addressbook,<base>: who may write the global address book
std::string addressAdminsDn(const std::string& baseDN);
