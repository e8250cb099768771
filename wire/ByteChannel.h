// The bytes of one client connection, plain or under TLS: what the line
// reader reads from and the command writer writes to.
#pragma once

#include <string>

class ByteChannel {
  public:
    // What get() returns instead of a byte.
    static constexpr int kEnd = -1;       // the peer closed, or the read failed
    static constexpr int kTimedOut = -2;  // a started TLS record did not complete

    virtual ~ByteChannel() = default;

    // True when a byte can be read within `timeoutMs` (or one is buffered).
    virtual bool waitForInput(int timeoutMs) = 0;
    // True when the socket reports an error condition right now.
    virtual bool errorPending() = 0;
    // The next byte (0 to 255), kEnd or kTimedOut. Call after waitForInput.
    virtual int get() = 0;
    // Sends all of `bytes`; raises ost::SockException when the connection fails.
    virtual void write(const std::string& bytes) = 0;
};
