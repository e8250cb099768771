// The Sieve script listing reader on arbitrary bytes.
#include "fuzz/FuzzInput.h"
#include "sieve/SieveReplies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    BufferLineSource source(asString(data, size));
    std::list<ListedScript> scripts;
    std::string active;
    std::string message;
    while (readSieveListResponse(source, scripts, active, message, ReplyWaits()) >= -1) {
    }
    return 0;
}
