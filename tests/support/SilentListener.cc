// A listener nobody is meant to call.
#include "tests/support/SilentListener.h"

#include <poll.h>
#include <unistd.h>

#include "tests/support/Loopback.h"

SilentListener::SilentListener() : listener_(listenOnLoopback(port_, "silent listener")) {}

SilentListener::~SilentListener() {
    close(listener_);
}

bool SilentListener::contacted() const {
    // The kernel completes a connection before anyone accepts it: one is
    // waiting in the backlog exactly when the listener is readable.
    pollfd ready{listener_, POLLIN, 0};
    return poll(&ready, 1, 0) > 0;
}
