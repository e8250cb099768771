// Socket transport of the IMAP and Sieve clients.
#include "wire/TcpLineSource.h"

#include <commoncpp/commoncpp.h>
#include <commoncpp/tcp.h>

TcpLineSource::TcpLineSource(const char* host, unsigned int port) {
    const ost::InetHostAddress address(host);
    // Small buffer, exceptions on, no stream time-out: waits are ours.
    stream_ =
        std::make_unique<ost::TCPStream>(address, static_cast<ost::tpport_t>(port), 512, true, 0);
}

TcpLineSource::~TcpLineSource() {
    if (stream_) {
        stream_->disconnect();
    }
}

bool TcpLineSource::waitForInput(int timeoutMs) {
    return stream_->isPending(ost::Socket::pendingInput, timeoutMs);
}

bool TcpLineSource::errorPending() {
    return stream_->isPending(ost::Socket::pendingError, 0);
}

LineSource::Read TcpLineSource::readLine(std::string& line, int timeoutMs) {
    line.clear();
    // Byte by byte from the stream buffer, waiting before each byte that is
    // not buffered yet: a peer that stops in the middle of a line cannot
    // block us longer than one wait.
    for (;;) {
        if (!stream_->isPending(ost::Socket::pendingInput, timeoutMs)) {
            return Read::TimedOut;
        }
        const int c = stream_->get();
        if (c == std::char_traits<char>::eof()) {
            stream_->clear();
            return Read::End;
        }
        if (c == '\n') {
            return Read::Line;
        }
        if (line.size() >= kMaxLine) {
            return Read::TooLong;
        }
        line += static_cast<char>(c);
    }
}

void TcpLineSource::writeLine(const std::string& line) {
    *stream_ << line << std::endl;
}
