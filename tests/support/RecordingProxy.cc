// Byte-recording relay.
#include "tests/support/RecordingProxy.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/support/Loopback.h"

RecordingProxy::RecordingProxy(int upstreamPort) : upstreamPort_(upstreamPort) {
    listener_ = listenOnLoopback(port_, "recording proxy");
    thread_ = std::thread(&RecordingProxy::run, this);
}

RecordingProxy::~RecordingProxy() {
    clientBytes();
}

std::string RecordingProxy::clientBytes() {
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    return clientBytes_;
}

void RecordingProxy::run() {
    while (!stopping_) {
        pollfd waiting{listener_, POLLIN, 0};
        if (poll(&waiting, 1, 100) <= 0)
            continue;
        const int client = accept(listener_, nullptr, nullptr);
        if (client >= 0) {
            relay(client);
            close(client);
        }
    }
    close(listener_);
}

void RecordingProxy::relay(int client) {
    const int upstream = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopbackAddress(upstreamPort_);
    if (connect(upstream, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        char buffer[65536];
        for (;;) {
            pollfd fds[2] = {{client, POLLIN, 0}, {upstream, POLLIN, 0}};
            if (poll(fds, 2, 30000) <= 0)
                break;
            const int from = fds[0].revents ? client : upstream;
            const ssize_t n = recv(from, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            if (from == client)
                clientBytes_.append(buffer, n);
            if (send(from == client ? upstream : client, buffer, n, MSG_NOSIGNAL) != n)
                break;
        }
    }
    close(upstream);
}
