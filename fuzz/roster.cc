// Rosters as any spreadsheet might write them: the reader either refuses
// the file with its own status or gives rows of exactly the header's width,
// all valid UTF-8.
#include <cstdlib>

#include "common/MyException.h"
#include "common/Roster.h"
#include "common/TextEncoding.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        const Roster roster = Roster::parse(asString(data, size), "", "fuzz.csv");
        for (const Roster::Row& row : roster.rows()) {
            if (row.cells.size() != roster.header().size() || row.line == 0) {
                std::abort();
            }
            for (const std::string& cell : row.cells) {
                if (firstInvalidUtf8(cell)) {
                    std::abort();
                }
            }
        }
    } catch (const MyException& e) {
        if (e.code != kBatchRefused) {
            std::abort();
        }
    }
    return 0;
}
