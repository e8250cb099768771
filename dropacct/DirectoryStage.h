// The directory stage of a removal: the accounts leave every POSIX group,
// every shared folder's delivery list and the address-book administrators
// (one search per attribute for all of them, each entry changed once); then
// the entries below each user's entry and the entry itself are deleted.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ldap/LDAPConnection.h"

class AccountRemoval;
class LDAPException;
class LdifWriter;
class RemovalSettings;
struct RemovalPolicy;

class DirectoryStage {
  public:
    // Changes go into `plan` instead when it is given.
    DirectoryStage(const RemovalSettings& settings, const RemovalPolicy& policy, LdifWriter* plan)
        : settings_(settings), policy_(policy), plan_(plan) {}

    // Removes the accounts that are still going. A refusal ends the accounts
    // it concerns; a failed bind or a lost connection raises MyException
    // for all of them.
    void run(const std::vector<AccountRemoval*>& accounts);

  private:
    void bind();
    // Removes the accounts' uids from `attribute` in every entry of
    // `objectClass` one level below the base DN.
    void removeReferences(const std::vector<AccountRemoval*>& accounts,
                          const std::string& objectClass, const std::string& attribute, int code,
                          const std::string& failure);
    void removeAdministrators(const std::vector<AccountRemoval*>& accounts);
    void deleteSubtree(AccountRemoval& account);
    void deleteChildren(const std::string& dn, AccountRemoval& account);
    void deleteUserEntry(AccountRemoval& account);

    // Carries out one directory change, or in a plan writes it down.
    void modifyEntry(const std::string& dn, const LDAPModList& modifications);
    void deleteEntry(const std::string& dn);
    std::string userDN(const std::string& uid) const;
    // The failure `code`, `failure` and the error's text: raised for a lost
    // connection (the whole stage ends), else it ends the accounts `concerned`.
    void failed(const LDAPException& error, int code, const std::string& failure,
                const std::vector<AccountRemoval*>& concerned) const;

    const RemovalSettings& settings_;
    const RemovalPolicy& policy_;
    LdifWriter* const plan_;
    std::unique_ptr<LDAPConnection> connection_;
};
