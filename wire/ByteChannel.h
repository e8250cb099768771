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
    // Sends all of `bytes`; raises an exception when the connection fails
    // (the socket library's for a plain connection, TlsError under TLS).
    virtual void write(const std::string& bytes) = 0;
};

// A channel straight on a connected socket, which TLS can take over.
class SocketChannel : public ByteChannel {
  public:
    // The connected socket.
    virtual int socket() const = 0;
    // Bytes received and buffered but not read yet.
    virtual bool hasBufferedInput() = 0;
};
