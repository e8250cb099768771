// What a sync does with one account, and the rules that choose it: the name
// each action has on result lines and in the summary, the action of a
// change from what its plan changes, and what becomes of a leaver.
#pragma once

#include <optional>
#include <string>

#include "account/AccountLock.h"

// In the order a run acts, but unlock before move and change: an account
// moved or changed and unlocked is one line, whose action is the first that
// applies (unlocking gives an account its logins back, the most telling of
// the three).
enum class SyncAction { Create, Unlock, Move, Change, Lock, Remove };

const char* actionName(SyncAction action);

// The action of an existing account's change, from the kinds of change its
// plan holds ("class,sn,unlock"): unlock, else move (its classes), else change.
SyncAction changeAction(const std::string& changed);

// What becomes of a leaver with the lock `lock`, today being the day number
// `today`: removed when it was locked at least `grace` days ago (one not
// locked yet, or locked without a recorded day, counts as locked today; a
// shadowExpire of 0 or less records no day), else locked when it is not,
// else nothing (none).
std::optional<SyncAction> leaverAction(const LockState& lock, int today,
                                       const std::optional<int>& grace);
