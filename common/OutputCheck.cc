// Checking that output went out.
#include "common/OutputCheck.h"

#include <cerrno>
#include <cstring>

namespace {
int lastFailure = 0;
}  // namespace

bool flushed(std::ostream& out) {
    if (out) {
        errno = 0;
        out.flush();
    }
    // A write that failed before the flush left its errno too: nothing
    // since has touched the stream.
    if (!out && lastFailure == 0) {
        lastFailure = errno;
    }
    return static_cast<bool>(out);
}

std::string outputFailure(const std::string& lost) {
    return "output could not be written" +
           (lastFailure != 0 ? " (" + std::string(std::strerror(lastFailure)) + ")"
                             : std::string()) +
           ": " + lost;
}
