// LIST/LSUB line parsing on arbitrary lines, up to the first line that
// fails, as the client stops there too.
#include "fuzz/FuzzInput.h"
#include "imap/IMAPException.h"
#include "imap/ImapRecords.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (const std::string& line : asLines(asString(data, size))) {
        IMAPFolder folder("", '.');
        try {
            folder.parseListResponse(line);
        } catch (const IMAPException&) {
            break;
        }
    }
    return 0;
}
