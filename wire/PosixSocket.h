// A bare client socket (getaddrinfo, connect, recv, send), for a connection
// that needs no more than bytes and TLS: the second look at a failed
// directory handshake. Programs that use it need not load the socket
// library the IMAP and Sieve clients are built on.
#pragma once

#include <string>

#include "wire/ByteChannel.h"

class PosixSocket : public SocketChannel {
  public:
    // Connects within `timeoutMs`; raises TlsError naming the host when it
    // cannot.
    PosixSocket(const std::string& host, int port, int timeoutMs);
    ~PosixSocket() override;
    PosixSocket(const PosixSocket&) = delete;
    PosixSocket& operator=(const PosixSocket&) = delete;

    bool waitForInput(int timeoutMs) override;
    bool errorPending() override;
    int get() override;
    void write(const std::string& bytes) override;
    int socket() const override { return fd_; }
    bool hasBufferedInput() override { return position_ < buffer_.size(); }

  private:
    int fd_ = -1;
    std::string buffer_;
    size_t position_ = 0;
};
