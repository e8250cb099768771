// A loopback TCP proxy in front of a test server that forwards one client
// connection and cuts it at a chosen LDAP request (or IMAP or Sieve command
// line), either before the request reaches the server or after the server
// got it but before its answer comes back: the connection losses a running
// server cannot be made to show on cue.
#pragma once

#include <functional>
#include <string>
#include <thread>

class DroppingProxy {
  public:
    enum Cut { BeforeRequest, BeforeReply };
    // What counts as one request: an LDAP message, or a line (IMAP, Sieve).
    enum Framing { Ldap, Lines };

    // `cutAt` counts the client's LDAP messages from 1; 0 never cuts.
    // `beforeRequest`, when given, runs with each message's number before the
    // message goes on: a test's way to change the directory at that moment.
    DroppingProxy(int upstreamPort, int cutAt, Cut cut,
                  std::function<void(int)> beforeRequest = nullptr, Framing framing = Ldap);
    // Cuts before the first request whose bytes hold `mark` (a DN, say).
    DroppingProxy(int upstreamPort, std::string mark);
    ~DroppingProxy();
    DroppingProxy(const DroppingProxy&) = delete;
    DroppingProxy& operator=(const DroppingProxy&) = delete;

    std::string portText() const { return std::to_string(port_); }
    // Waits for the connection to end; how many messages the client sent.
    int messagesSeen();

  private:
    void run();
    void relay(int client, int upstream);

    const int upstreamPort_;
    const int cutAt_;
    const Cut cut_;
    const std::function<void(int)> beforeRequest_;
    const std::string mark_;
    const Framing framing_ = Ldap;
    int listener_ = -1;
    int port_ = 0;
    int messages_ = 0;
    std::thread thread_;
};
