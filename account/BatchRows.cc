// Checking a batch file whole before any account of it is made.
#include "account/BatchRows.h"

#include <algorithm>

#include "common/CheckedFile.h"
#include "common/Roster.h"
#include "common/RosterLogins.h"

std::vector<BatchRow> readBatchRows(const std::string& path, const std::string& encoding,
                                    const std::function<bool(const std::string&)>& isColumn) {
    const FileRules& rules = kBatchFileRules;
    const CheckedFile file = readCheckedFile(path, rules);
    const Roster roster = Roster::parse(file.bytes, encoding, path);
    const std::vector<std::string>& header = roster.header();
    for (const std::string& name : header) {
        if (!isColumn(name)) {
            throw batchFileRefused(path,
                                   "column \"" + name + "\" names no parameter of an account");
        }
    }
    const std::vector<RosterLogin> logins = rosterLogins(roster, path);
    const std::vector<size_t> passwordColumns = roster.columns("up");
    const bool holdsPasswords =
        std::any_of(roster.rows().begin(), roster.rows().end(), [&](const Roster::Row& row) {
            return std::any_of(passwordColumns.begin(), passwordColumns.end(),
                               [&row](size_t column) { return !row.cells[column].empty(); });
        });
    if (holdsPasswords) {
        refuseReadableByOthers(file, rules, "it holds passwords");
    }

    std::vector<BatchRow> rows;
    for (size_t i = 0; i < logins.size(); ++i) {
        const Roster::Row& row = roster.rows()[i];
        BatchRow parameters{row.line, logins[i].uid, {}};
        for (size_t column = 0; column < header.size(); ++column) {
            if (!row.cells[column].empty()) {
                parameters.cells.emplace_back(header[column], row.cells[column]);
            }
        }
        rows.push_back(std::move(parameters));
    }
    return rows;
}
