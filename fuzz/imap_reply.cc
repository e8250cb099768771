// The IMAP tagged-reply reader on arbitrary bytes: every reply in the input
// is read until the bytes run out.
#include "fuzz/FuzzInput.h"
#include "imap/ImapReplies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    BufferLineSource source(asString(data, size));
    std::list<std::string> untagged;
    std::string response;
    while (readImapResponse(source, "A1", response, &untagged, ReplyWaits()) >= -2) {
    }
    return 0;
}
