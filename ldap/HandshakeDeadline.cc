// The watcher thread of a TLS handshake.
#include "ldap/HandshakeDeadline.h"

#include <fcntl.h>
#include <sys/socket.h>

#include <chrono>

HandshakeDeadline::HandshakeDeadline(int fd, int waitMs) : fd_(fd), flags_(fcntl(fd, F_GETFL)) {
    // Non-blocking, the handshake would spin on the processor until the end.
    if (flags_ != -1) {
        fcntl(fd_, F_SETFL, flags_ & ~O_NONBLOCK);
    }
    watcher_ = std::thread(&HandshakeDeadline::watch, this, waitMs);
}

HandshakeDeadline::~HandshakeDeadline() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
    }
    stop_.notify_one();
    watcher_.join();
}

void HandshakeDeadline::watch(int waitMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!stop_.wait_for(lock, std::chrono::milliseconds(waitMs), [this] { return stopped_; })) {
        expired_ = true;
        // Reading ends: the handshake sees the end of the stream. Writing
        // stays, so nothing raises SIGPIPE; the socket is never closed here,
        // as its number could already belong to another one.
        shutdown(fd_, SHUT_RD);
    }
}

bool HandshakeDeadline::expired() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return expired_;
}

void HandshakeDeadline::restoreMode() {
    if (flags_ != -1) {
        fcntl(fd_, F_SETFL, flags_);
    }
}
