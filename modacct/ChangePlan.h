// What it takes to make one stored account what a request asks: the user
// entry's modifications (and the values they change, to put them back),
// the class groups to join and to leave, the contact card's changes, the
// addresses newly claimed, and what kinds of change it holds. Computing it
// writes nothing; a plan with nothing in it means the account is as asked
// already.
//
// A value given by the request replaces what the entry holds (of two runs
// that give one, the later wins, as each asked). A value that follows from
// what was read (the aliases and class group IDs changed one by one, cn
// from the names, the password and the lock's attributes from the lock,
// the object classes, the card) is written as a delete of the values read
// and an add of the new ones, which the directory refuses once the entry
// has changed since it was read: the account is then read and planned
// again.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ldap/LDAPAttributeList.h"
#include "ldap/LDAPModList.h"
#include "ldap/StringList.h"
#include "modacct/AccountChange.h"
#include "modacct/StoredAccount.h"

class ChangePlan {
  public:
    // `request` is checked and its password prepared; `today` is the day
    // number of shadowLastChange and of a lock. Raises MyException(-18) for
    // a class without a system group where plendarGroupID needs its ID.
    ChangePlan(const AccountChange& request, const StoredAccount& stored, const std::string& baseDN,
               int today);

    // The user entry's attributes a plan for `request` reads: those its
    // rules look at, and those the request replaces.
    static StringList attributesRead(const AccountChange& request);
    // Whether the plan needs the account's contact card: a groupware
    // account whose card shows a value the request gives.
    static bool needsContact(const AccountChange& request, const StoredAccount& stored);

    bool empty() const;
    // What changes, by parameter ("class,mail,password"), or "unchanged".
    std::string changed() const;
    const std::vector<std::string>& kinds() const { return kinds_; }

    const std::string& login() const { return login_; }
    const std::string& userDn() const { return userDn_; }
    const LDAPModList& userChanges() const { return userChanges_; }
    // The attributes the user entry's modify changes, as read and as written.
    const LDAPAttributeList& userBefore() const { return userBefore_; }
    const LDAPAttributeList& userAfter() const { return userAfter_; }
    // Class names to join (as asked) and to leave (as stored).
    const std::vector<std::string>& joins() const { return joins_; }
    const std::vector<std::string>& leaves() const { return leaves_; }
    // The groups left because -class without a scope does not name them.
    const std::vector<std::string>& unnamedLeaves() const { return unnamedLeaves_; }

    const std::string& contactDn() const { return contactDn_; }
    // A missing card, to be added whole.
    const std::optional<LDAPAttributeList>& contactAdd() const { return contactAdd_; }
    // A card there, changed where it differs.
    const LDAPModList& contactChanges() const { return contactChanges_; }
    const LDAPAttributeList& contactBefore() const { return contactBefore_; }
    const LDAPAttributeList& contactAfter() const { return contactAfter_; }

    // Addresses (the mail's local part, aliases) that the account holds only
    // after the change, and aliases it gives up.
    const std::vector<std::string>& claims() const { return claims_; }
    const std::vector<std::string>& aliasClaims() const { return aliasClaims_; }
    const std::vector<std::string>& releases() const { return releases_; }
    // The refusal when another account holds `claim`: "Address <mail>
    // already exists. Aborted" or "Alias <alias> already exists. Aborted".
    std::string claimRefusal(const std::string& claim) const;

  private:
    void planClasses(const AccountChange& request, const StoredAccount& stored);
    void planAddresses(const AccountChange& request, const StoredAccount& stored);
    void planPassword(const AccountChange& request, const StoredAccount& stored, int today);
    void planContact(const AccountChange& request, const StoredAccount& stored,
                     const std::string& baseDN);
    // `attribute` changes; `given`: to values the request gives.
    void touch(const std::string& attribute, bool given = false);
    bool differs(const StoredAccount& stored, const std::string& attribute) const;

    std::string login_;
    std::string userDn_;
    LDAPAttributeList wanted_;
    std::vector<std::string> touched_;
    // The attributes whose values the request gives: replaced.
    std::vector<std::string> replaced_;
    std::vector<std::string> kinds_;
    std::vector<std::string> finalClasses_;
    LDAPModList userChanges_;
    LDAPAttributeList userBefore_;
    LDAPAttributeList userAfter_;
    std::vector<std::string> joins_;
    std::vector<std::string> leaves_;
    std::vector<std::string> unnamedLeaves_;
    std::string contactDn_;
    std::optional<LDAPAttributeList> contactAdd_;
    LDAPModList contactChanges_;
    LDAPAttributeList contactBefore_;
    LDAPAttributeList contactAfter_;
    std::vector<std::string> claims_;
    std::vector<std::string> aliasClaims_;
    std::vector<std::string> releases_;
    std::string mail_;
    std::string mailClaim_;
};
