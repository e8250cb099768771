// NAMESPACE reply parsing on arbitrary lines.
#include "fuzz/FuzzInput.h"
#include "imap/IMAPException.h"
#include "imap/ImapReplies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    IMAPNamespaceSet set;
    try {
        parseNamespaceLines(asLines(asString(data, size)), "OK", set);
    } catch (const IMAPException&) {
    }
    return 0;
}
