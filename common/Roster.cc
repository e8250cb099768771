// Reading rosters with libcsv, after settling their character set.
#include "common/Roster.h"

#include <csv.h>

#include <algorithm>
#include <string_view>

#include "common/MyException.h"
#include "common/TextEncoding.h"

namespace {

size_t lineAt(const std::string& text, size_t offset) {
    return 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + offset, '\n'));
}

// The text as UTF-8, without a byte-order mark.
std::string utf8Text(const std::string& bytes, const std::string& encoding,
                     const std::string& path) {
    if (encoding.empty()) {
        const std::string bom = "\xef\xbb\xbf";
        const std::string text = bytes.compare(0, bom.size(), bom) == 0 ? bytes.substr(3) : bytes;
        if (!firstInvalidUtf8(text)) {
            return text;
        }
    }
    const std::string from = encoding.empty() ? "WINDOWS-1252" : encoding;
    Conversion converted = convertToUtf8(bytes, from);
    if (converted.unknownEncoding) {
        throw batchFileRefused(path, "unknown encoding " + encoding);
    }
    if (converted.failedAt) {
        throw batchFileRefused(path, "line " + std::to_string(lineAt(bytes, *converted.failedAt)) +
                                         (encoding.empty() ? " is neither UTF-8 nor Windows-1252 "
                                                             "(name its encoding with -encoding)"
                                                           : " is not valid " + encoding));
    }
    if (!encoding.empty() && converted.text.compare(0, 3, "\xef\xbb\xbf") == 0) {
        converted.text.erase(0, 3);
    }
    return converted.text;
}

// The separator the header row uses: the more frequent of ',' and ';'
// outside quotes; a single column takes ','.
char separatorOf(const std::string& text) {
    size_t commas = 0;
    size_t semicolons = 0;
    bool quoted = false;
    for (const char c : text) {
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && (c == '\n' || c == '\r')) {
            break;
        } else if (!quoted) {
            commas += c == ',';
            semicolons += c == ';';
        }
    }
    return semicolons > commas ? ';' : ',';
}

std::string trimmed(const std::string& name) {
    const size_t first = name.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return "";
    }
    return name.substr(first, name.find_last_not_of(" \t") - first + 1);
}

// Collects libcsv's fields and rows with the line each row starts on.
struct Collector {
    std::vector<std::string> cells;
    std::vector<Roster::Row> rows;
    size_t line = 1;
    size_t rowStart = 0;  // 0 while no row is under way

    static void field(void* data, size_t size, void* self) {
        static_cast<Collector*>(self)->cells.emplace_back(static_cast<const char*>(data), size);
    }
    static void rowEnd(int, void* self) {
        auto* collector = static_cast<Collector*>(self);
        collector->rows.push_back({collector->rowStart ? collector->rowStart : collector->line,
                                   std::move(collector->cells)});
        collector->cells.clear();
        collector->rowStart = 0;
    }
};

// libcsv's parser, strict about quotes.
class CsvParser {
  public:
    explicit CsvParser(char separator) {
        if (csv_init(&parser_, CSV_STRICT | CSV_STRICT_FINI) != 0) {
            throw MyException(kBatchRefused, "cannot start the CSV parser");
        }
        csv_set_delim(&parser_, static_cast<unsigned char>(separator));
        // Blanks belong to a cell: a password may start or end with one.
        csv_set_space_func(&parser_, [](unsigned char) { return 0; });
    }
    ~CsvParser() { csv_free(&parser_); }
    CsvParser(const CsvParser&) = delete;
    CsvParser& operator=(const CsvParser&) = delete;

    bool feed(std::string_view bytes, Collector& collector) {
        return csv_parse(&parser_, bytes.data(), bytes.size(), Collector::field, Collector::rowEnd,
                         &collector) == bytes.size();
    }
    bool finish(Collector& collector) {
        return csv_fini(&parser_, Collector::field, Collector::rowEnd, &collector) == 0;
    }

  private:
    csv_parser parser_{};
};

}  // namespace

Roster Roster::parse(const std::string& bytes, const std::string& encoding,
                     const std::string& path) {
    const std::string text = utf8Text(bytes, encoding, path);
    CsvParser parser(separatorOf(text));
    Collector collector;
    // Fed a line at a time, so that each row knows the line it starts on.
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size() - 1) + 1;
        const std::string_view line(text.data() + start, end - start);
        if (!collector.rowStart && line.find_first_not_of("\r\n") != std::string_view::npos) {
            collector.rowStart = collector.line;
        }
        if (!parser.feed(line, collector)) {
            throw batchFileRefused(path, collector.line,
                                   "a quote out of place (quote the whole cell and double each "
                                   "quote inside it)");
        }
        collector.line += line.back() == '\n';
        start = end;
    }
    if (!parser.finish(collector)) {
        throw batchFileRefused(path, collector.rowStart, "a quoted cell is not closed");
    }
    if (collector.rows.empty()) {
        throw batchFileRefused(path, "it has no header row");
    }
    Roster roster;
    for (const std::string& name : collector.rows.front().cells) {
        roster.header_.push_back(trimmed(name));
    }
    for (size_t i = 1; i < collector.rows.size(); ++i) {
        Row& row = collector.rows[i];
        // Spreadsheets end rows with empty cells past the last column.
        while (row.cells.size() > roster.header_.size() && row.cells.back().empty()) {
            row.cells.pop_back();
        }
        if (row.cells.size() > roster.header_.size()) {
            throw batchFileRefused(path, "line " + std::to_string(row.line) + " has " +
                                             std::to_string(row.cells.size()) +
                                             " cells, the header " +
                                             std::to_string(roster.header_.size()));
        }
        if (std::all_of(row.cells.begin(), row.cells.end(),
                        [](const std::string& cell) { return cell.empty(); })) {
            continue;
        }
        row.cells.resize(roster.header_.size());
        roster.rows_.push_back(std::move(row));
    }
    return roster;
}

std::vector<size_t> Roster::columns(const std::string& name) const {
    std::vector<size_t> found;
    for (size_t i = 0; i < header_.size(); ++i) {
        if (header_[i] == name) {
            found.push_back(i);
        }
    }
    return found;
}

MyException batchFileRefused(const std::string& path, const std::string& why) {
    return MyException(kBatchRefused, "batch file " + path + ": " + why);
}

MyException batchFileRefused(const std::string& path, size_t line, const std::string& why) {
    return batchFileRefused(path, "line " + std::to_string(line) + ": " + why);
}

const FileRules kBatchFileRules{"batch file", 16 << 20, "16 MiB"};

Roster readRoster(const std::string& path, const std::string& encoding) {
    return Roster::parse(readCheckedFile(path, kBatchFileRules).bytes, encoding, path);
}
