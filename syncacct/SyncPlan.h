// What a sync will do, worked out before anything is written: the change
// request of each roster row and the lock request of each leaver (a member
// of a scoped class that the roster does not name), and, once the change
// engines have read and planned them, each account's action in the order
// the run acts (creations, changes, locks, removals), the summary and the
// guard against rosters that would lock or remove too many accounts.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "account/BatchRows.h"
#include "common/MyException.h"
#include "modacct/AccountChange.h"
#include "syncacct/SyncAction.h"

class ChangeEngine;
class SyncSettings;

struct SyncItem {
    std::string uid;  // as the roster spells it, or the leaver's login
    SyncAction action;
    size_t source;  // the roster row, or the leaver
    // A check of the row that failed before the directory was asked.
    std::optional<MyException> failure;
};

class SyncPlan {
  public:
    // `rows` passed the roster's checks.
    SyncPlan(const SyncSettings& settings, std::vector<BatchRow> rows);

    // The requests for the change engines: each row's change of an existing
    // account (only its cells, and only its classes within scope) and the
    // lock of each of `members` that the roster does not name.
    void request(const std::vector<std::string>& members);
    const std::vector<AccountChange>& rowRequests() const { return rowRequests_; }
    const std::vector<AccountChange>& leaverRequests() const { return leaverRequests_; }

    // Decides every account's action from what the engines read and
    // planned, and leaves out of them what they are not to write: accounts
    // to create, to remove, or with nothing to change.
    void decide(ChangeEngine& changes, ChangeEngine& locks, int today);

    // The accounts acted on, in the order the run acts.
    const std::vector<SyncItem>& items() const { return items_; }
    // The rows of the accounts to create, in roster order, and the item
    // of each; the item of each row request and leaver request (npos: none).
    std::vector<BatchRow> creationRows() const;
    size_t creationItem(size_t creation) const { return creations_[creation]; }
    size_t rowItem(size_t row) const { return rowItems_[row]; }
    size_t leaverItem(size_t leaver) const { return leaverItems_[leaver]; }
    // The leavers to remove, with their items.
    const std::vector<size_t>& removals() const { return removals_; }
    // The leavers whose entries are gone, with their items: members of
    // their classes still, left by a removal cut short. Only their
    // references in the directory are to go.
    const std::vector<size_t>& leftovers() const { return leftovers_; }

    // "to create 3, to move 2, ... unchanged 6 (of 14 managed accounts)".
    std::string summary() const;
    // The guard's refusal when more of the managed accounts than allowed
    // would be locked or removed.
    std::optional<MyException> guard() const;

  private:
    void add(SyncAction action, const std::string& uid, size_t source, std::vector<size_t>& itemOf,
             std::optional<MyException> failure = std::nullopt);

    const SyncSettings& settings_;
    const std::vector<BatchRow> rows_;
    std::vector<AccountChange> rowRequests_;
    std::vector<std::optional<MyException>> checkFailures_;  // per row
    std::vector<std::string> leavers_;
    std::vector<AccountChange> leaverRequests_;
    std::vector<SyncItem> items_;
    std::vector<size_t> creations_;
    std::vector<size_t> rowItems_;
    std::vector<size_t> leaverItems_;
    std::vector<size_t> removals_;
    std::vector<size_t> leftovers_;
    size_t unchanged_ = 0;
    size_t managed_ = 0;
};
