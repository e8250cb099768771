// Plain socket transport of the IMAP and Sieve clients.
#include "wire/TcpChannel.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

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
    *stream_ << bytes << std::flush;
}

int TcpChannel::socket() const {
    return stream_->socket();
}

bool TcpChannel::hasBufferedInput() {
    return stream_->hasBufferedInput();
}
