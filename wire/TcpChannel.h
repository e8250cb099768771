// A plain TCP connection over ucommon's Common C++ TCPStream, with Nagle's
// algorithm off: each command is one small write that must leave at once.
#pragma once

#include <memory>

#include "wire/ByteChannel.h"

class TcpChannel : public SocketChannel {
  public:
    // Connects; a failure raises the socket library's exception
    // (ost::Socket* or ost::SockException, depending on its mode).
    TcpChannel(const char* host, unsigned int port);
    ~TcpChannel() override;

    bool waitForInput(int timeoutMs) override;
    bool errorPending() override;
    int get() override;
    void write(const std::string& bytes) override;

    int socket() const override;
    bool hasBufferedInput() override;

  private:
    class Stream;
    std::unique_ptr<Stream> stream_;
};
