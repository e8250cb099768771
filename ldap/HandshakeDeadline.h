// A time limit for libldap's TLS handshake, which obeys none of its own:
// on a blocking socket it waits for the server forever, and with a connect
// time-out set it calls the handshake again and again on a non-blocking one.
// The socket is made blocking for the handshake, and once the wait is over
// its reading side is shut, so the handshake fails at once.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

class HandshakeDeadline {
  public:
    // Starts watching the connected socket `fd`.
    HandshakeDeadline(int fd, int waitMs);
    // Stops watching.
    ~HandshakeDeadline();
    HandshakeDeadline(const HandshakeDeadline&) = delete;
    HandshakeDeadline& operator=(const HandshakeDeadline&) = delete;

    // Whether the wait ran out and the socket was shut.
    bool expired() const;
    // The handshake is over and the socket is in use again: it keeps what
    // libldap set (non-blocking) instead of being left as the handshake had it.
    void restoreMode();

  private:
    void watch(int waitMs);

    const int fd_;
    const int flags_;
    mutable std::mutex mutex_;
    std::condition_variable stop_;
    bool stopped_ = false;
    bool expired_ = false;
    std::thread watcher_;
};
