// The STARTTLS-related capability readers on arbitrary bytes: the IMAP
// greeting's [CAPABILITY ...] code, line by line, and the Sieve capability
// lines (greeting and the list sent again after STARTTLS).
#include <algorithm>

#include "fuzz/FuzzInput.h"
#include "imap/ImapReplies.h"
#include "sieve/SieveReplies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes = asString(data, size);
    for (size_t start = 0; start < bytes.size();) {
        const size_t end = std::min(bytes.find('\n', start), bytes.size());
        parseCapabilityCode(bytes.substr(start, end - start));
        start = end + 1;
    }
    BufferLineSource source(bytes);
    SieveCapabilities capabilities;
    std::string message;
    while (readSieveCapabilities(source, capabilities, message, ReplyWaits()) >= -1) {
    }
    return 0;
}
