// The logins a roster names, checked whole before any account is touched:
// the one set of rules both programs apply to a batch file's uid column.
#pragma once

#include <string>
#include <vector>

#include "common/Roster.h"

struct RosterLogin {
    size_t line;      // where the row starts, for messages
    std::string uid;  // as the row spells it
};

// The uid of every row, in file order. Raises batchFileRefused for a
// roster without a uid column or with more than one, and for a row whose
// uid is empty, fails isUsableLoginName, or repeats an earlier row's uid
// in any case (both are one stored login).
std::vector<RosterLogin> rosterLogins(const Roster& roster, const std::string& path);
