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
                             std::function<void(int)> beforeRequest, Framing framing)
    : upstreamPort_(upstreamPort),
      cutAt_(cutAt),
      cut_(cut),
      beforeRequest_(std::move(beforeRequest)),
      framing_(framing) {
    listener_ = listenOnLoopback(port_, "dropping proxy");
    thread_ = std::thread(&DroppingProxy::run, this);
}

DroppingProxy::DroppingProxy(int upstreamPort, std::string mark)
    : upstreamPort_(upstreamPort), cutAt_(0), cut_(BeforeRequest), mark_(std::move(mark)) {
    listener_ = listenOnLoopback(port_, "dropping proxy");
    thread_ = std::thread(&DroppingProxy::run, this);
}

DroppingProxy::~DroppingProxy() {
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
    close(listener_);
    if (client < 0)
        return;
    const int upstream = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopbackAddress(upstreamPort_);
    if (connect(upstream, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        relay(client, upstream);
    close(upstream);
    close(client);
}

void DroppingProxy::relay(int client, int upstream) {
    std::string pending;  // client bytes not yet forwarded
    bool cutOnReply = false;
    char buffer[65536];
    for (;;) {
        pollfd fds[2] = {{client, POLLIN, 0}, {upstream, POLLIN, 0}};
        if (poll(fds, 2, 30000) <= 0)
            return;
        if (fds[0].revents) {
            const ssize_t n = recv(client, buffer, sizeof buffer, 0);
            if (n <= 0)
                return;
            pending.append(buffer, n);
            while (const size_t size =
                       framing_ == Ldap ? firstMessageSize(pending) : pending.find('\n') + 1) {
                ++messages_;
                if (messages_ == cutAt_ && cut_ == BeforeRequest)
                    return;
                if (!mark_.empty() && pending.substr(0, size).find(mark_) != std::string::npos)
                    return;
                if (beforeRequest_)
                    beforeRequest_(messages_);
                if (!sendAll(upstream, pending.data(), size))
                    return;
                pending.erase(0, size);
                cutOnReply = cutOnReply || (messages_ == cutAt_ && cut_ == BeforeReply);
            }
        }
        if (fds[1].revents) {
            if (cutOnReply)
                return;
            const ssize_t n = recv(upstream, buffer, sizeof buffer, 0);
            if (n <= 0 || !sendAll(client, buffer, n))
                return;
        }
    }
}
