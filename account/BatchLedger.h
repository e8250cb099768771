// What a batch knows of the directory: asked once at its start (the user ID
// numbers in use, the holders of the roster's addresses, the class groups,
// the default access item) and kept up to date with what the batch itself
// writes, so that each account needs no searches of its own before its add.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

class LDAPConnection;

class BatchLedger {
  public:
    // The one scan of the numbers in use. Raises LDAPException.
    void readNumbers(LDAPConnection& connection, const std::string& baseDN);
    // The lowest number above 2000 that no account holds.
    unsigned firstFreeNumber() const;
    bool holdsNumber(unsigned number) const { return numbers_.count(number) > 0; }
    void holdNumber(unsigned number) { numbers_.insert(number); }
    void releaseNumber(unsigned number) { numbers_.erase(number); }

    // Which accounts hold any of `addresses` as login name or alias, asked
    // in few searches. Raises LDAPException.
    void readHolders(LDAPConnection& connection, const std::string& baseDN,
                     const std::vector<std::string>& addresses);
    // Whether no account but `login` holds `address`.
    bool addressFree(const std::string& address, const std::string& login) const;
    // The account `login` now holds (or no longer holds) its login name and `aliases`.
    void holdAddresses(const std::string& login, const std::vector<std::string>& aliases);
    void releaseAddresses(const std::string& login, const std::vector<std::string>& aliases);

    // Which of the class groups `names` exist (cn=<name>,<base DN>).
    // Raises LDAPException.
    void readGroups(LDAPConnection& connection, const std::string& baseDN,
                    const std::set<std::string>& names);
    bool groupExists(const std::string& name) const;

    // The access items of the default user ACI, once read.
    std::optional<std::vector<std::string>> userAci;

  private:
    std::set<unsigned> numbers_;
    // address (lower case) -> the login names of each account holding it
    std::multimap<std::string, std::set<std::string>> holders_;
    std::set<std::string> groups_;  // lower case
};
