// The Sieve stage of a removal: every filter script of each account is
// deleted, acting as the administrator for the user. A server that refers
// the user to another one (a Cyrus murder's frontend names the user's
// backend) is followed: the same work is done again there, a few hops at
// most and never back to a server already visited.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

class AccountRemoval;
class LdifWriter;
class RemovalSettings;
struct RemovalPolicy;
class SieveSimple;

// Asks the IMAP server for its hierarchy separator (see ImapStage).
using SeparatorLookup = std::function<std::string()>;

class SieveStage {
  public:
    // Changes go into `plan` instead when it is given. `separators` is
    // empty when the run has no IMAP server to ask: a login that may hold
    // the separator then goes ahead.
    SieveStage(const RemovalSettings& settings, const RemovalPolicy& policy, LdifWriter* plan,
               SeparatorLookup separators);
    ~SieveStage();

    // Removes the scripts of the accounts that are still going. A refusal
    // ends its account; a server that cannot be reached raises MyException
    // for all of them, and so does one lost or silent ("not done: ..." for
    // the accounts not yet tried).
    void run(const std::vector<AccountRemoval*>& accounts);

  private:
    void removeAccount(AccountRemoval& account);
    // A Sieve session with `host` (after a referral from `referredBy`), TLS
    // as the run asks; raises MyException with the set-up status.
    std::unique_ptr<SieveSimple> openSession(const std::string& host, int port,
                                             const std::string& referredBy) const;
    void removeScripts(SieveSimple& client, AccountRemoval& account) const;

    const RemovalSettings& settings_;
    const RemovalPolicy& policy_;
    LdifWriter* const plan_;
    const SeparatorLookup separators_;
    // A batch's session with the Sieve server, logged out of the last
    // account with UNAUTHENTICATE and kept for the next one.
    std::unique_ptr<SieveSimple> idle_;
};
