// A loopback TCP proxy in front of a test server that forwards one client
// connection and cuts it at a chosen LDAP request (or IMAP or Sieve command
// line), either before the request reaches the server or after the server
// got it but before its answer comes back, or from that request on answers
// nothing while keeping the connection open: the connection losses and the
// silence a running server cannot be made to show on cue.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

class DroppingProxy {
  public:
    // Silence: the request goes on to the server, but neither its answer nor
    // anything later comes back, and the connection stays open.
    enum Cut { BeforeRequest, BeforeReply, Silence };
    // What a client that connects again finds: no server (as after a crash),
    // or the server, relayed without cuts until the proxy ends.
    enum Later { NoServer, Relayed };
    // What counts as one request: an LDAP message, or a line (IMAP, Sieve).
    enum Framing { Ldap, Lines };

    // `cutAt` counts the client's LDAP messages from 1; 0 never cuts.
    // `beforeRequest`, when given, runs with each message's number before the
    // message goes on (or is cut): a test's way to change the directory at
    // that moment.
    DroppingProxy(int upstreamPort, int cutAt, Cut cut,
                  std::function<void(int)> beforeRequest = nullptr, Framing framing = Ldap,
                  Later later = NoServer);
    // Cuts before the first request whose bytes hold `mark` (a DN, say).
    // Relayed: connections one after another are relayed until one of them
    // sends the mark.
    DroppingProxy(int upstreamPort, std::string mark, Later later = NoServer);
    ~DroppingProxy();
    DroppingProxy(const DroppingProxy&) = delete;
    DroppingProxy& operator=(const DroppingProxy&) = delete;

    std::string portText() const { return std::to_string(port_); }
    // Waits for the connection to end (NoServer only); how many messages
    // the client sent.
    int messagesSeen();

  private:
    void run();
    // The first connection, with its cut; later ones without.
    void relay(int client, bool cutting);
    void forward(int client, int upstream, bool cutting);

    const int upstreamPort_;
    const int cutAt_;
    const Cut cut_;
    const std::function<void(int)> beforeRequest_;
    const std::string mark_;
    const Framing framing_ = Ldap;
    const Later later_ = NoServer;
    std::atomic<bool> ending_{false};
    int listener_ = -1;
    int port_ = 0;
    int messages_ = 0;
    bool markSent_ = false;
    std::thread thread_;
};
