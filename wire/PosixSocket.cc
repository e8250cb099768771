// Bare client sockets.
#include "wire/PosixSocket.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "wire/TlsChannel.h"

namespace {
struct AddressesFree {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};
}  // namespace

PosixSocket::PosixSocket(const std::string& host, int port, int timeoutMs) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
        throw TlsError("cannot resolve " + host);
    }
    const std::unique_ptr<addrinfo, AddressesFree> addresses(found);
    for (const addrinfo* a = found; a && fd_ < 0; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            continue;
        }
        // Connected without blocking, so that the wait is ours.
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        int error = 0;
        socklen_t size = sizeof error;
        pollfd writable{fd, POLLOUT, 0};
        if ((::connect(fd, a->ai_addr, a->ai_addrlen) == 0 ||
             (errno == EINPROGRESS && poll(&writable, 1, timeoutMs) > 0 &&
              getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0))) {
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            const int on = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            fd_ = fd;
        } else {
            close(fd);
        }
    }
    if (fd_ < 0) {
        throw TlsError("cannot connect to " + host + ":" + std::to_string(port));
    }
}

PosixSocket::~PosixSocket() {
    close(fd_);
}

bool PosixSocket::waitForInput(int timeoutMs) {
    pollfd readable{fd_, POLLIN, 0};
    return hasBufferedInput() || poll(&readable, 1, timeoutMs) > 0;
}

bool PosixSocket::errorPending() {
    pollfd socket{fd_, 0, 0};
    return poll(&socket, 1, 0) > 0 && (socket.revents & (POLLERR | POLLHUP)) != 0;
}

int PosixSocket::get() {
    if (position_ == buffer_.size()) {
        char chunk[4096];
        const ssize_t received = recv(fd_, chunk, sizeof chunk, 0);
        if (received <= 0) {
            return kEnd;
        }
        buffer_.assign(chunk, static_cast<size_t>(received));
        position_ = 0;
    }
    return static_cast<unsigned char>(buffer_[position_++]);
}

void PosixSocket::write(const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            throw TlsError(std::string("cannot send: ") + std::strerror(errno));
        }
        sent += static_cast<size_t>(n);
    }
}
