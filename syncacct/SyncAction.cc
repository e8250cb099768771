// The sync's actions and the rules that choose them.
#include "syncacct/SyncAction.h"

#include <sstream>

const char* actionName(SyncAction action) {
    switch (action) {
        case SyncAction::Create:
            return "create";
        case SyncAction::Unlock:
            return "unlock";
        case SyncAction::Move:
            return "move";
        case SyncAction::Change:
            return "change";
        case SyncAction::Lock:
            return "lock";
        case SyncAction::Remove:
            return "remove";
    }
    return "";
}

SyncAction changeAction(const std::string& changed) {
    bool moved = false;
    std::istringstream kinds(changed);
    for (std::string kind; std::getline(kinds, kind, ',');) {
        if (kind == "unlock") {
            return SyncAction::Unlock;
        }
        moved = moved || kind == "class";
    }
    return moved ? SyncAction::Move : SyncAction::Change;
}

std::optional<SyncAction> leaverAction(const LockState& lock, int today,
                                       const std::optional<int>& grace) {
    // shadowExpire -1 says "never expires" (and 0 is no day a lock
    // records): such a value is no lock day, or a leaver whose entry has no
    // password would be removed at once, without its grace period.
    const bool recorded = lock.locked && lock.since && *lock.since > 0;
    const int lockedDays = recorded ? today - *lock.since : 0;
    if (grace && lockedDays >= *grace) {
        return SyncAction::Remove;
    }
    if (!lock.locked) {
        return SyncAction::Lock;
    }
    return std::nullopt;
}
