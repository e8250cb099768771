// The Sieve OK/NO reader on arbitrary bytes.
#include "fuzz/FuzzInput.h"
#include "sieve/SieveReplies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    BufferLineSource source(asString(data, size));
    std::string message;
    while (readSieveResponse(source, message, ReplyWaits()) >= -1) {
    }
    return 0;
}
