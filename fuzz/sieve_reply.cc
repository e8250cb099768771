// The Sieve OK/NO/BYE reader on arbitrary bytes, and the referral URL of
// each reply it ends with.
#include "fuzz/FuzzInput.h"
#include "sieve/SieveReplies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    BufferLineSource source(asString(data, size));
    std::string message;
    while (readSieveResponse(source, message, ReplyWaits()) >= kSieveBye) {
        std::string host;
        int port = 0;
        parseSieveUrl(sieveReferralUrl(message), host, port);
    }
    return 0;
}
