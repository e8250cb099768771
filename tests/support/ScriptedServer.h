// A TCP server on loopback that plays a fixed script (send bytes, read a
// line, pause, close, start TLS with the test authority's server
// certificate) on one connection, or one script on each of several
// connections in turn, and records every byte it receives: for protocol
// cases a real server cannot produce.
#pragma once

#include <string>
#include <thread>
#include <vector>

struct ScriptStep {
    enum Kind { Send, ReadLine, Pause, Close, StartTls } kind;
    std::string bytes;
    int ms = 0;
};

inline ScriptStep send(std::string bytes) {
    return {ScriptStep::Send, std::move(bytes), 0};
}
inline ScriptStep readLine() {
    return {ScriptStep::ReadLine, "", 0};
}
inline ScriptStep pause(int ms) {
    return {ScriptStep::Pause, "", ms};
}
// Closes the socket without a TLS close notification: a vanished peer.
inline ScriptStep closeConnection() {
    return {ScriptStep::Close, "", 0};
}
// The server's side of a TLS handshake; later steps go through TLS.
inline ScriptStep startTls() {
    return {ScriptStep::StartTls, "", 0};
}

class ScriptedServer {
  public:
    explicit ScriptedServer(std::vector<ScriptStep> script);
    // The first connection plays the first script, the next one the next.
    explicit ScriptedServer(std::vector<std::vector<ScriptStep>> connections);
    ~ScriptedServer();

    int port() const { return port_; }
    std::string portText() const { return std::to_string(port_); }
    // Waits for the scripts to end, then everything the client sent, one
    // connection after the other.
    std::string received();

  private:
    void run(std::vector<std::vector<ScriptStep>> connections);
    // Plays `script` on the next connection; false when none came.
    bool play(const std::vector<ScriptStep>& script);

    int listener_ = -1;
    int port_ = 0;
    std::string received_;
    std::thread thread_;
};
