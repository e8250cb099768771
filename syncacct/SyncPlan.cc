// Requests, decisions, summary and guard of a sync.
#include "syncacct/SyncPlan.h"

#include <algorithm>
#include <map>
#include <set>

#include "common/LoginName.h"
#include "modacct/ChangeEngine.h"
#include "syncacct/SyncSettings.h"

namespace {

constexpr size_t npos = static_cast<size_t>(-1);

// Columns used only to create: a sync never resets an existing pupil's
// password, and modacct does not change the others.
bool creationOnly(const std::string& name) {
    return name == "up" || name == "reqpwdchange" || setOnlyAtCreation(name);
}

}  // namespace

SyncPlan::SyncPlan(const SyncSettings& settings, std::vector<BatchRow> rows)
    : settings_(settings), rows_(std::move(rows)) {}

void SyncPlan::request(const std::vector<std::string>& members) {
    const std::vector<std::string>& scope = settings_.scope();
    // A school has few class names and many pupils: each name is matched once.
    std::map<std::string, bool> scoped;
    const auto inScope = [&scope, &scoped](const std::string& name) {
        const auto known = scoped.find(name);
        return known != scoped.end()
                   ? known->second
                   : scoped.emplace(name, classInScope(scope, name)).first->second;
    };
    std::set<std::string> named;
    for (const BatchRow& row : rows_) {
        named.insert(lowerCaseLogin(row.uid));
        AccountChange request;
        bool classes = false;
        std::optional<MyException> failure;
        try {
            for (const auto& [name, value] : row.cells) {
                if (creationOnly(name)) {
                    continue;
                }
                // Memberships outside the scope are never changed.
                classes = classes || name == "class";
                if (name != "class" || inScope(value)) {
                    request.set(name, value);
                }
                // A roster must not copy a private file into the directory.
                request.photoFromRoster = request.photoFromRoster || name == "jpegphoto";
            }
            if (classes) {
                request.classes.exactly =
                    request.classes.exactly.value_or(std::vector<std::string>());
                request.classes.scope = scope;
            }
            // A locked account that the roster names comes back.
            request.set("unlock", "on");
            request.check();
            request.preparePassword();
        } catch (const MyException& e) {
            // The account is still read: whether it exists decides the action.
            failure = e;
            request = AccountChange();
            request.login = lowerCaseLogin(row.uid);
        }
        rowRequests_.push_back(std::move(request));
        checkFailures_.push_back(std::move(failure));
    }
    for (const std::string& member : members) {
        if (named.count(member) > 0) {
            continue;
        }
        AccountChange request;
        request.set("uid", member);
        request.set("lock", "on");
        try {
            request.check();
        } catch (const MyException&) {
            // A value no login can have (a control character, say): it
            // names no account of this class.
            continue;
        }
        leavers_.push_back(member);
        leaverRequests_.push_back(std::move(request));
    }
}

void SyncPlan::add(SyncAction action, const std::string& uid, size_t source,
                   std::vector<size_t>& itemOf, std::optional<MyException> failure) {
    itemOf[source] = items_.size();
    items_.push_back({uid, action, source, std::move(failure)});
}

void SyncPlan::decide(ChangeEngine& changes, ChangeEngine& locks, int today) {
    rowItems_.assign(rows_.size(), npos);
    leaverItems_.assign(leavers_.size(), npos);
    std::vector<bool> creating(rows_.size(), false);
    std::vector<std::optional<SyncAction>> changing(rows_.size());
    for (size_t i = 0; i < rows_.size(); ++i) {
        const ChangeEngine::Outcome found = changes.outcome(i);
        creating[i] = !found.stored;
        if (creating[i] || checkFailures_[i] ||
            (found.plan && !found.error && found.plan->empty())) {
            // Made by newacct's engine, failed before, or nothing to change.
            changes.leaveOut(i);
        }
        if (!creating[i] && (checkFailures_[i] || found.error || !found.plan->empty())) {
            changing[i] = found.plan ? changeAction(found.plan->changed()) : SyncAction::Change;
        }
    }
    std::vector<std::optional<SyncAction>> leaving(leavers_.size());
    std::vector<bool> entryGone(leavers_.size(), false);
    for (size_t j = 0; j < leavers_.size(); ++j) {
        const ChangeEngine::Outcome found = locks.outcome(j);
        if (found.stored) {
            ++managed_;
            leaving[j] = leaverAction(found.stored->lock(), today, settings_.grace());
            unchanged_ += leaving[j] ? 0 : 1;
        } else if (settings_.grace()) {
            // A member without an account is what a removal cut short
            // leaves (the memberships go last): a removing sync finishes
            // it. Not an account: the guard does not count it.
            leaving[j] = SyncAction::Remove;
            entryGone[j] = true;
        }
        if (!found.stored || leaving[j] != SyncAction::Lock) {
            locks.leaveOut(j);
        }
    }
    managed_ += rows_.size();
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (creating[i]) {
            creations_.push_back(items_.size());
            add(SyncAction::Create, rows_[i].uid, i, rowItems_);
        }
    }
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (changing[i]) {
            add(*changing[i], rows_[i].uid, i, rowItems_, checkFailures_[i]);
        } else if (!creating[i]) {
            ++unchanged_;
        }
    }
    for (const SyncAction action : {SyncAction::Lock, SyncAction::Remove}) {
        for (size_t j = 0; j < leavers_.size(); ++j) {
            if (leaving[j] == action) {
                add(action, leavers_[j], j, leaverItems_);
                if (action == SyncAction::Remove) {
                    (entryGone[j] ? leftovers_ : removals_).push_back(j);
                }
            }
        }
    }
}

std::vector<BatchRow> SyncPlan::creationRows() const {
    std::vector<BatchRow> rows;
    for (const size_t item : creations_) {
        BatchRow row = rows_[items_[item].source];
        // The roster governs the classes in scope only: a cell naming staff
        // or the choir makes no member of it, for a new pupil as for one
        // who has an account.
        row.cells.erase(std::remove_if(row.cells.begin(), row.cells.end(),
                                       [this](const std::pair<std::string, std::string>& cell) {
                                           return cell.first == "class" &&
                                                  !classInScope(settings_.scope(), cell.second);
                                       }),
                        row.cells.end());
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string SyncPlan::summary() const {
    const auto count = [this](SyncAction action) {
        return std::to_string(
            std::count_if(items_.begin(), items_.end(),
                          [action](const SyncItem& item) { return item.action == action; }));
    };
    return "to create " + count(SyncAction::Create) + ", to move " + count(SyncAction::Move) +
           ", to change " + count(SyncAction::Change) + ", to lock " + count(SyncAction::Lock) +
           ", to unlock " + count(SyncAction::Unlock) + ", to remove " + count(SyncAction::Remove) +
           ", unchanged " + std::to_string(unchanged_) + " (of " + std::to_string(managed_) +
           " managed accounts)";
}

std::optional<MyException> SyncPlan::guard() const {
    const size_t leaving = std::count_if(items_.begin(), items_.end(),
                                         [](const SyncItem& item) {
                                             return item.action == SyncAction::Lock ||
                                                    item.action == SyncAction::Remove;
                                         }) -
                           leftovers_.size();
    const int percent = settings_.maxLeavers();
    if (settings_.force() || leaving * 100 <= static_cast<size_t>(percent) * managed_) {
        return std::nullopt;
    }
    return MyException(kTooManyLeavers,
                       std::to_string(leaving) + " of " + std::to_string(managed_) +
                           " managed accounts would be locked or removed, more than " +
                           std::to_string(percent) +
                           " %: an export of only part of the school looks like this. Nothing "
                           "was changed; check the roster, then run again with -force (or "
                           "-maxleavers PERCENT) if they all leave");
}
