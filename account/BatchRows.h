// The rows of a batch file as parameters of accounts, once the whole file
// passed its checks: every column names an account's parameter, there is a
// uid column, and every uid is usable and given once.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

struct BatchRow {
    size_t line;      // where the row starts in the file
    std::string uid;  // as given
    // The non-empty cells, in the order of the columns: (parameter, value).
    std::vector<std::pair<std::string, std::string>> cells;
};

// Raises MyException(kFileRefused) for a file that cannot be read, is too
// large, or holds passwords that other users can read, and
// MyException(kBatchRefused) for a file whose content is refused.
// `isColumn` tells which parameter names a column may have.
std::vector<BatchRow> readBatchRows(const std::string& path, const std::string& encoding,
                                    const std::function<bool(const std::string&)>& isColumn);
