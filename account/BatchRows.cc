// Checking a batch file whole before any account of it is made.
#include "account/BatchRows.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "common/BatchReport.h"
#include "common/CheckedFile.h"
#include "common/LoginName.h"
#include "common/MyException.h"
#include "common/Roster.h"

namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

std::vector<BatchRow> readBatchRows(const std::string& path, const std::string& encoding,
                                    const std::function<bool(const std::string&)>& isColumn) {
    const FileRules& rules = kBatchFileRules;
    const CheckedFile file = readCheckedFile(path, rules);
    const Roster roster = Roster::parse(file.bytes, encoding, path);
    const auto refuse = [&path](const std::string& why) {
        return MyException(kBatchRefused, "batch file " + path + ": " + why);
    };
    const std::vector<std::string>& header = roster.header();
    for (const std::string& name : header) {
        if (!isColumn(name)) {
            throw refuse("column \"" + name + "\" names no parameter of an account");
        }
    }
    const std::vector<size_t> uidColumns = roster.columns("uid");
    if (uidColumns.size() != 1) {
        throw refuse(uidColumns.empty() ? "no uid column" : "more than one uid column");
    }
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
    std::map<std::string, size_t> lineOfUid;
    for (const Roster::Row& row : roster.rows()) {
        const auto refuseRow = [&](const std::string& why) {
            return refuse("line " + std::to_string(row.line) + ": " + why);
        };
        const std::string& uid = row.cells[uidColumns.front()];
        if (uid.empty()) {
            throw refuseRow("you must define option -uid");
        }
        if (!isUsableLoginName(uid)) {
            throw refuseRow("invalid uid: blanks at its ends or control characters");
        }
        const auto [earlier, first] = lineOfUid.emplace(lower(uid), row.line);
        if (!first) {
            throw refuseRow("uid " + uid + " repeats line " + std::to_string(earlier->second));
        }
        BatchRow parameters{row.line, uid, {}};
        for (size_t column = 0; column < header.size(); ++column) {
            if (!row.cells[column].empty()) {
                parameters.cells.emplace_back(header[column], row.cells[column]);
            }
        }
        rows.push_back(std::move(parameters));
    }
    return rows;
}
