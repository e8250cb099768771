// The uid column of a roster.
#include "common/RosterLogins.h"

#include <map>

#include "common/LoginName.h"

std::vector<RosterLogin> rosterLogins(const Roster& roster, const std::string& path) {
    const std::vector<size_t> columns = roster.columns("uid");
    if (columns.size() != 1) {
        throw batchFileRefused(path,
                               columns.empty() ? "no uid column" : "more than one uid column");
    }
    std::vector<RosterLogin> logins;
    std::map<std::string, size_t> lineOfLogin;
    for (const Roster::Row& row : roster.rows()) {
        const std::string& uid = row.cells[columns.front()];
        if (uid.empty()) {
            throw batchFileRefused(path, row.line, "you must define option -uid");
        }
        if (!isUsableLoginName(uid)) {
            throw batchFileRefused(path, row.line,
                                   "invalid uid: blanks at its ends or control characters");
        }
        const auto [earlier, first] = lineOfLogin.emplace(lowerCaseLogin(uid), row.line);
        if (!first) {
            throw batchFileRefused(
                path, row.line, "uid " + uid + " repeats line " + std::to_string(earlier->second));
        }
        logins.push_back({row.line, uid});
    }
    return logins;
}
