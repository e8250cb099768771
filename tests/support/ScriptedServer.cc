// Scripted loopback server.
#include "tests/support/ScriptedServer.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>

#include "tests/support/Loopback.h"

namespace {
// A client writing to a server that closed must see an error, not die.
const bool kIgnoreSigpipe = [] {
    signal(SIGPIPE, SIG_IGN);
    return true;
}();

bool readable(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, ms) > 0;
}
}  // namespace

ScriptedServer::ScriptedServer(std::vector<ScriptStep> script) {
    listener_ = listenOnLoopback(port_, "scripted server");
    thread_ = std::thread(&ScriptedServer::run, this, std::move(script));
}

ScriptedServer::~ScriptedServer() {
    if (thread_.joinable())
        thread_.join();
    close(listener_);
}

std::string ScriptedServer::received() {
    if (thread_.joinable())
        thread_.join();
    return received_;
}

void ScriptedServer::run(std::vector<ScriptStep> script) {
    if (!readable(listener_, 10000))
        return;
    int connection = accept(listener_, nullptr, nullptr);
    char c;
    for (const ScriptStep& step : script) {
        switch (step.kind) {
            case ScriptStep::Send:
                if (write(connection, step.bytes.data(), step.bytes.size()) < 0)
                    return;
                break;
            case ScriptStep::ReadLine:
                while (readable(connection, 10000) && read(connection, &c, 1) == 1) {
                    received_ += c;
                    if (c == '\n')
                        break;
                }
                break;
            case ScriptStep::Pause:
                std::this_thread::sleep_for(std::chrono::milliseconds(step.ms));
                break;
            case ScriptStep::Close:
                close(connection);
                connection = -1;
                break;
        }
        if (connection < 0)
            return;
    }
    // Whatever else the client sends until it closes.
    while (readable(connection, 5000) && read(connection, &c, 1) == 1)
        received_ += c;
    close(connection);
}
