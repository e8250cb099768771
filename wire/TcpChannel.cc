// Plain socket transport of the IMAP and Sieve clients.
#include "wire/TcpChannel.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>

#include <commoncpp/commoncpp.h>
#include <commoncpp/tcp.h>

// The library's stream, which keeps its socket to itself otherwise.
class TcpChannel::Stream : public ost::TCPStream {
  public:
    using ost::TCPStream::TCPStream;
    int socket() const { return so; }
    bool hasBufferedInput() { return std::streambuf::in_avail() > 0; }
};

TcpChannel::TcpChannel(const char* host, unsigned int port) {
    const ost::InetHostAddress address(host);
    // Exceptions on, no stream time-out (the waits are ours). No segment
    // size: given one, the library also shrinks the socket buffers to a few
    // kilobytes, and a long reply (a LIST of many mailboxes) then crawls and
    // can stall past the reply waits.
    stream_ = std::make_unique<Stream>(address, static_cast<ost::tpport_t>(port), 0, true, 0);
    // Without it every exchange under TLS waits on delayed acknowledgements.
    const int on = 1;
    setsockopt(stream_->socket(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

TcpChannel::~TcpChannel() {
    if (stream_) {
        stream_->disconnect();
    }
}

bool TcpChannel::waitForInput(int timeoutMs) {
    return stream_->isPending(ost::Socket::pendingInput, timeoutMs);
}

bool TcpChannel::errorPending() {
    return stream_->isPending(ost::Socket::pendingError, 0);
}

int TcpChannel::get() {
    const int c = stream_->get();
    if (c == std::char_traits<char>::eof()) {
        stream_->clear();
        return kEnd;
    }
    return static_cast<unsigned char>(c);
}

void TcpChannel::write(const std::string& bytes) {
    // Straight to the socket: flushing the library's stream would also
    // drop what it has read ahead, and a client with commands in flight
    // writes while replies wait in that buffer.
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n =
            send(stream_->socket(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            throw ost::SockException(ost::String("cannot send"), ost::Socket::errOutput);
        }
        sent += static_cast<size_t>(n);
    }
}

int TcpChannel::socket() const {
    return stream_->socket();
}

bool TcpChannel::hasBufferedInput() {
    return stream_->hasBufferedInput();
}
