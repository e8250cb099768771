// A loopback server that accepts every connection and then answers nothing
// (after sending its fixed opening bytes, when it has some): a server that
// hangs, or one a run must not contact at all. Connections stay open until
// it ends.
#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <vector>

class SilentServer {
  public:
    explicit SilentServer(std::string opening = std::string());
    ~SilentServer();
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;

    std::string portText() const { return std::to_string(port_); }
    // Whether a client has connected (or is connecting) so far.
    bool contacted() const;

  private:
    void run();

    const std::string opening_;
    int listener_ = -1;
    int port_ = 0;
    std::vector<int> clients_;
    std::atomic<bool> accepted_{false};
    std::atomic<bool> ending_{false};
    std::thread thread_;
};
