// A loopback TCP proxy that relays connections, one after the other, to a
// real server and keeps every byte the clients sent: proof of what went
// over the wire, for instance that no credential left in clear.
#pragma once

#include <atomic>
#include <string>
#include <thread>

class RecordingProxy {
  public:
    explicit RecordingProxy(int upstreamPort);
    ~RecordingProxy();
    RecordingProxy(const RecordingProxy&) = delete;
    RecordingProxy& operator=(const RecordingProxy&) = delete;

    std::string portText() const { return std::to_string(port_); }
    // Stops taking connections once the current one ends; the clients' bytes.
    std::string clientBytes();

  private:
    void run();
    void relay(int client);

    const int upstreamPort_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::string clientBytes_;
    std::thread thread_;
};
