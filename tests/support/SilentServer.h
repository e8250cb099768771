// A loopback server that accepts every connection and then answers nothing
// (after sending its fixed opening bytes, when it has some): a server that
// hangs. Connections stay open until it ends.
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

  private:
    void run();

    const std::string opening_;
    int listener_ = -1;
    int port_ = 0;
    std::vector<int> clients_;
    std::atomic<bool> ending_{false};
    std::thread thread_;
};
