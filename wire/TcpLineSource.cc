// Socket transport of the IMAP and Sieve clients.
#include "wire/TcpLineSource.h"

#include <commoncpp/commoncpp.h>
#include <commoncpp/tcp.h>

TcpLineSource::TcpLineSource(const char* host, unsigned int port) {
    const ost::InetHostAddress address(host);
    // Exceptions on, no stream time-out (the waits are ours). No segment
    // size: given one, the library also shrinks the socket buffers to a few
    // kilobytes, and a long reply (a LIST of many mailboxes) then crawls and
    // can stall past the reply waits.
    stream_ =
        std::make_unique<ost::TCPStream>(address, static_cast<ost::tpport_t>(port), 0, true, 0);
}

TcpLineSource::~TcpLineSource() {
    if (stream_) {
        stream_->disconnect();
    }
}

bool TcpLineSource::waitForInput(int timeoutMs) {
    return broken_ || stream_->isPending(ost::Socket::pendingInput, timeoutMs);
}

bool TcpLineSource::errorPending() {
    return stream_->isPending(ost::Socket::pendingError, 0);
}

LineSource::Read TcpLineSource::readLine(std::string& line, int timeoutMs) {
    line.clear();
    if (broken_) {
        return Read::End;
    }
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
            broken_ = true;
            return Read::TooLong;
        }
        line += static_cast<char>(c);
    }
}

void TcpLineSource::writeLine(const std::string& line) {
    *stream_ << line << std::endl;
}
