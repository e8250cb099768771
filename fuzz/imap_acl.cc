// GETACL reply parsing on arbitrary lines; the mailbox asked for is the
// first line.
#include "fuzz/FuzzInput.h"
#include "imap/IMAPException.h"
#include "imap/ImapReplies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::list<std::string> lines = asLines(asString(data, size));
    if (lines.empty())
        return 0;
    const std::string mailbox = lines.front();
    lines.pop_front();
    try {
        parseAclLines(lines, mailbox);
    } catch (const IMAPException&) {
    }
    return 0;
}
