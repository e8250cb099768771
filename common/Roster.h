// A roster: the CSV file that spreadsheets and school administration systems
// export, one account per data row, parameter names in the header row.
#pragma once

#include <string>
#include <vector>

#include "common/CheckedFile.h"
#include "common/MyException.h"

// The status of a batch file whose content is refused; nothing was done.
constexpr int kBatchRefused = -20;

// The refusal of a batch file for its content, in the one form both
// programs use: "batch file PATH: WHY", or "batch file PATH: line N: WHY".
MyException batchFileRefused(const std::string& path, const std::string& why);
MyException batchFileRefused(const std::string& path, size_t line, const std::string& why);

class Roster {
  public:
    struct Row {
        size_t line;                     // where the row starts in the file, for messages
        std::vector<std::string> cells;  // one per header name; missing cells are ""
    };

    // Parses `bytes`: a header row whose separator (',' or ';') is the one
    // it uses; UTF-8 with or without a byte-order mark, else Windows-1252,
    // or `encoding` (an iconv name) when not empty; RFC 4180 quoting, so a
    // quoted cell may hold separators, quotes and line breaks. Cells come
    // out as UTF-8, byte for byte as written otherwise. Raises
    // MyException(kBatchRefused) with a message naming `path` and the line.
    static Roster parse(const std::string& bytes, const std::string& encoding,
                        const std::string& path);

    const std::vector<std::string>& header() const { return header_; }
    const std::vector<Row>& rows() const { return rows_; }
    // Every column whose header is `name`, left to right.
    std::vector<size_t> columns(const std::string& name) const;

  private:
    std::vector<std::string> header_;  // blanks around each name removed
    std::vector<Row> rows_;            // rows of nothing but empty cells are left out
};

// A batch file: a regular file of at most 16 MiB.
extern const FileRules kBatchFileRules;

// The roster in the batch file `path`, a regular file of at most 16 MiB
// (MyException(kFileRefused) otherwise).
Roster readRoster(const std::string& path, const std::string& encoding);
