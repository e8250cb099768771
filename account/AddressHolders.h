// Who holds an address: an account's mail address (its local part) and its
// aliases must not be another POSIX account's login name or alias. These
// are the searches behind that rule, before a write and after it (when
// concurrent runs may have written the same address meanwhile).
#pragma once

#include <string>
#include <vector>

class LDAPConnection;

// "(alias=a)(uid=a)(alias=b)(uid=b)...": the filter parts that match an
// account holding any of `addresses` as login name or alias.
std::string addressHolderTerms(const std::vector<std::string>& addresses);

// "(&(objectClass=posixAccount)(!(uid=<login>))(|<terms>))": the POSIX
// accounts other than `login` that match any of `terms`.
std::string otherAccountsFilter(const std::string& login, const std::string& terms);

// Whether a POSIX account one level below `baseDN` other than `login`'s
// holds `address` as login name or alias. Raises LDAPException.
bool addressHeldByAnother(LDAPConnection& connection, const std::string& baseDN,
                          const std::string& address, const std::string& login);

// Whether no POSIX account one level below `baseDN` but `login`'s holds
// `address` as login name or alias. A search that fails counts as a
// conflict.
bool isAddressUnique(LDAPConnection* connection, const std::string& baseDN,
                     const std::string& address, const std::string& login);

// Whether an account other than `login` holds `value` as mail or alias,
// anywhere below `baseDN` (contact cards, which repeat their user's mail,
// do not count). False when the search fails.
bool heldByAnother(LDAPConnection& connection, const std::string& baseDN, const std::string& value,
                   const std::string& login);
