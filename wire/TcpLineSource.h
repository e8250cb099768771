// A TCP connection to a line-based server over ucommon's Common C++
// TCPStream: line-at-a-time reading with waits, LF-terminated writes.
#pragma once

#include <memory>
#include <string>

#include "wire/LineSource.h"

namespace ost {
class TCPStream;
}

class TcpLineSource : public LineSource {
  public:
    // Connects; a failure raises the socket library's exception
    // (ost::Socket* or ost::SockException, depending on its mode).
    TcpLineSource(const char* host, unsigned int port);
    ~TcpLineSource() override;

    bool waitForInput(int timeoutMs) override;
    bool errorPending() override;
    Read readLine(std::string& line, int timeoutMs) override;

    // Writes the line and a single LF, and flushes.
    void writeLine(const std::string& line);

  private:
    std::unique_ptr<ost::TCPStream> stream_;
    // Set once a line overflowed: the exchange is out of step for good, so
    // every later read fails at once instead of waiting on the rest.
    bool broken_ = false;
};
