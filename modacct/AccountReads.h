// The reads of a change run: the stored accounts of many logins, with their
// classes and, where needed, their contact cards, in few searches (filters
// of at most 200 values each). Building the filters and matching what comes
// back are functions of their own, apart from the searches.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "ldap/StringList.h"
#include "modacct/StoredAccount.h"

class LDAPConnection;

// "(|(name=a)(name=b)...)" for each run of at most `chunk` of `values`
// (escaped); nothing for no values.
std::vector<std::string> orFilters(const std::string& name, const std::vector<std::string>& values,
                                   size_t chunk = 200);

// The value of a DN's first RDN (its escapes undone) when its type is
// `type` (without regard to case), else empty: "uid=jd\2coe,o=site" gives
// "jd,oe" for "uid".
std::string rdnValue(const std::string& dn, const std::string& type);

// The groups one level below the base and who of the run's logins is in
// which, as the group searches found them.
struct ClassGroups {
    std::map<std::string, std::string> dns;              // name -> DN
    std::map<std::string, std::vector<std::string>> of;  // login -> names
    // login -> name -> the memberUid values naming the login, as stored
    std::map<std::string, std::map<std::string, std::vector<std::string>>> values;
    // Takes in one group: its DN, name and memberUid values (a value names
    // a login of `logins` without regard to case).
    void take(const std::string& dn, const std::string& name,
              const std::vector<std::string>& members, const std::set<std::string>& logins);
};

class AccountReads {
  public:
    AccountReads(LDAPConnection& connection, std::string baseDN)
        : connection_(connection), baseDN_(std::move(baseDN)) {}

    // Reads every account, card and group below the base in one search
    // each instead of filters that name the logins: cheaper when the
    // logins are most of the directory's accounts (a whole school's
    // roster), as the server then tests no long filter against each entry.
    void readWhole() { whole_ = true; }

    // The accounts of `logins` (lower case) that are posixAccounts at
    // uid=<login>,<base>, with their classes and the attributes named in
    // `attributes`; the others are missing. Raises LDAPException.
    std::map<std::string, StoredAccount> accounts(const std::vector<std::string>& logins,
                                                  const StringList& attributes);
    // Reads the contact cards of `accounts`. Raises LDAPException.
    void contacts(const std::vector<StoredAccount*>& accounts);
    // Looks for the classes `names` among the posixGroups one level below
    // the base; the groups the accounts are in are known already. Raises
    // LDAPException.
    void classGroups(const std::set<std::string>& names);
    // Whether the class group `name` was found.
    bool hasGroup(const std::string& name) const;
    // The DN of the group `name` (cn=<name>,<base> when it was not read).
    std::string groupDn(const std::string& name) const;
    // How many searches were made.
    int searches() const { return searches_; }

  private:
    ClassGroups readGroups(const std::vector<std::string>& logins);
    // The filters of `name` over `values` (orFilters), or one that names
    // none when the reads are whole.
    std::vector<std::string> filters(const std::string& name,
                                     const std::vector<std::string>& values) const;

    LDAPConnection& connection_;
    const std::string baseDN_;
    std::map<std::string, std::string> groupDns_;  // lower-case name -> DN
    int searches_ = 0;
    bool whole_ = false;
    bool everyGroupRead_ = false;
};
