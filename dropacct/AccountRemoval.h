// One account of a removal run: its login, how far its removal got, what
// was removed (for its audit line) and the failure it ended with.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/MyException.h"

class RemovalSettings;

class AccountRemoval {
  public:
    // `listedAs` is the uid as the roster or option spells it; the account
    // is the login as newacct stores it, in lower case.
    explicit AccountRemoval(const std::string& listedAs);

    // The stored login: what every stage removes, and the audit line names.
    const std::string& uid() const { return uid_; }
    // The uid as given, for the result line.
    const std::string& listedAs() const { return listedAs_; }
    // Still going: no stage failed for this account.
    bool going() const { return !failure_; }
    const std::optional<MyException>& failure() const { return failure_; }
    // Ends the account with `error`; the first failure counts.
    void fail(const MyException& error);

    // The user entry was already gone (a batch run again after an
    // interruption): its subtree and entry are not looked for.
    bool entryGone = false;
    // The Sieve server refused to log in as the user; the IMAP stage decides
    // whether that is a failure (the mailbox is still there) or nothing is
    // left of the scripts (the mailbox, which holds them, is gone).
    std::optional<MyException> sieveRefused;

    // The caller has been told the account's result.
    bool reported = false;

    struct Removed {
        int entries = 0;
        int memberships = 0;
        int acls = 0;
        int mailboxes = 0;
        int scripts = 0;
    } removed;

    // Logs the account's audit line with its status (0 or the failure's),
    // under the name of the program that removed it.
    void audit(const RemovalSettings& settings, const std::string& program = "dropacct") const;

  private:
    std::string uid_;
    std::string listedAs_;
    std::optional<MyException> failure_;
};

// The accounts for which no stage has failed yet, in their order.
std::vector<AccountRemoval*> stillGoing(const std::vector<AccountRemoval*>& accounts);
