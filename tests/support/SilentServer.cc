// The hanging server.
#include "tests/support/SilentServer.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/support/Loopback.h"

SilentServer::SilentServer(std::string opening) : opening_(std::move(opening)) {
    listener_ = listenOnLoopback(port_, "silent server");
    thread_ = std::thread(&SilentServer::run, this);
}

SilentServer::~SilentServer() {
    ending_ = true;
    thread_.join();
    for (const int client : clients_)
        close(client);
    close(listener_);
}

void SilentServer::run() {
    while (!ending_) {
        pollfd waiting{listener_, POLLIN, 0};
        if (poll(&waiting, 1, 50) <= 0)
            continue;
        const int client = accept(listener_, nullptr, nullptr);
        if (client < 0)
            continue;
        clients_.push_back(client);
        accepted_ = true;
        if (!opening_.empty())
            send(client, opening_.data(), opening_.size(), MSG_NOSIGNAL);
    }
}

bool SilentServer::contacted() const {
    // A connection the thread has not accepted yet waits in the backlog,
    // which makes the listener readable.
    pollfd waiting{listener_, POLLIN, 0};
    return accepted_ || poll(&waiting, 1, 0) > 0;
}
