// LDAP connection-cutting proxy.
#include "tests/support/DroppingProxy.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/support/Loopback.h"

namespace {

bool sendAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

// The size of the first whole BER element (an LDAPMessage) in `buffer`, or
// 0 while it is incomplete.
size_t firstMessageSize(const std::string& buffer) {
    if (buffer.size() < 2)
        return 0;
    const unsigned char first = buffer[1];
    size_t header = 2;
    size_t length = first;
    if (first & 0x80) {
        const size_t octets = first & 0x7f;
        if (buffer.size() < 2 + octets)
            return 0;
        length = 0;
        for (size_t i = 0; i < octets; ++i)
            length = (length << 8) | static_cast<unsigned char>(buffer[2 + i]);
        header += octets;
    }
    return buffer.size() >= header + length ? header + length : 0;
}

}  // namespace

DroppingProxy::DroppingProxy(int upstreamPort, int cutAt, Cut cut,
                             std::function<void(int)> beforeRequest, Framing framing, Later later)
    : upstreamPort_(upstreamPort),
      cutAt_(cutAt),
      cut_(cut),
      beforeRequest_(std::move(beforeRequest)),
      framing_(framing),
      later_(later) {
    listener_ = listenOnLoopback(port_, "dropping proxy");
    thread_ = std::thread(&DroppingProxy::run, this);
}

DroppingProxy::DroppingProxy(int upstreamPort, std::string mark, Later later)
    : upstreamPort_(upstreamPort),
      cutAt_(0),
      cut_(BeforeRequest),
      mark_(std::move(mark)),
      later_(later) {
    listener_ = listenOnLoopback(port_, "dropping proxy");
    thread_ = std::thread(&DroppingProxy::run, this);
}

DroppingProxy::~DroppingProxy() {
    ending_ = true;
    if (thread_.joinable())
        thread_.join();
}

int DroppingProxy::messagesSeen() {
    if (thread_.joinable())
        thread_.join();
    return messages_;
}

void DroppingProxy::run() {
    pollfd waiting{listener_, POLLIN, 0};
    const int client = poll(&waiting, 1, 10000) > 0 ? accept(listener_, nullptr, nullptr) : -1;
    // Closed at once, so a client that reconnects after the cut finds no
    // server, as after a crash.
    if (later_ == NoServer)
        close(listener_);
    if (client >= 0)
        relay(client, true);
    if (later_ == NoServer)
        return;
    while (!ending_) {
        if (poll(&waiting, 1, 50) > 0) {
            const int again = accept(listener_, nullptr, nullptr);
            if (again >= 0)
                relay(again, !mark_.empty() && !markSent_);
        }
    }
    close(listener_);
}

void DroppingProxy::relay(int client, bool cutting) {
    const int upstream = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopbackAddress(upstreamPort_);
    if (connect(upstream, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        forward(client, upstream, cutting);
    close(upstream);
    close(client);
}

void DroppingProxy::forward(int client, int upstream, bool cutting) {
    std::string pending;  // client bytes not yet forwarded
    bool cutOnReply = false;
    bool silent = false;
    char buffer[65536];
    for (int idleMs = 0; idleMs < 30000 && !ending_;) {
        pollfd fds[2] = {{client, POLLIN, 0}, {upstream, POLLIN, 0}};
        const int ready = poll(fds, 2, 50);
        if (ready < 0)
            return;
        idleMs = ready == 0 ? idleMs + 50 : 0;
        if (fds[0].revents) {
            const ssize_t n = recv(client, buffer, sizeof buffer, 0);
            if (n <= 0)
                return;
            pending.append(buffer, n);
            while (const size_t size =
                       framing_ == Ldap ? firstMessageSize(pending) : pending.find('\n') + 1) {
                if (silent) {
                    pending.erase(0, size);
                    continue;
                }
                const int message = cutting ? ++messages_ : 0;
                const bool here = message != 0 && message == cutAt_;
                if (beforeRequest_ && cutting)
                    beforeRequest_(message);
                if (here && cut_ == BeforeRequest)
                    return;
                if (cutting && !mark_.empty() &&
                    pending.substr(0, size).find(mark_) != std::string::npos) {
                    markSent_ = true;
                    return;
                }
                if (!sendAll(upstream, pending.data(), size))
                    return;
                pending.erase(0, size);
                cutOnReply = cutOnReply || (here && cut_ == BeforeReply);
                silent = here && cut_ == Silence;
            }
        }
        if (fds[1].revents) {
            if (cutOnReply)
                return;
            const ssize_t n = recv(upstream, buffer, sizeof buffer, 0);
            if (n <= 0 || (!silent && !sendAll(client, buffer, n)))
                return;
        }
    }
}
