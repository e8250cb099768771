// Line reading and writing over a client connection.
#include "wire/TcpLineSource.h"

#include <commoncpp/commoncpp.h>
#include <commoncpp/socket.h>

std::string unsendable(const std::string& line) {
    if (line.find_first_of("\r\n") != std::string::npos) {
        return "a line break";
    }
    return line.find('\0') != std::string::npos ? "a NUL byte" : "";
}

std::string escapedForQuotes(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        if (c == '\\' || c == '"') {
            escaped += '\\';
        }
        escaped += c;
    }
    return escaped;
}

TcpLineSource::TcpLineSource(const char* host, unsigned int port)
    : plain_(std::make_unique<TcpChannel>(host, port)) {}

TcpLineSource::~TcpLineSource() = default;

bool TcpLineSource::waitForInput(int timeoutMs) {
    return broken_ || channel().waitForInput(timeoutMs);
}

bool TcpLineSource::errorPending() {
    return !broken_ && channel().errorPending();
}

int TcpLineSource::nextByte(int timeoutMs) {
    ByteChannel& in = channel();
    if (!in.waitForInput(timeoutMs)) {
        return ByteChannel::kTimedOut;
    }
    const int c = in.get();
    if (c == ByteChannel::kEnd) {
        broken_ = true;
    }
    return c;
}

LineSource::Read TcpLineSource::readLine(std::string& line, int timeoutMs) {
    line.clear();
    if (broken_) {
        return Read::End;
    }
    // Byte by byte, waiting before each byte that is not buffered yet: a
    // peer that stops in the middle of a line cannot block us longer than
    // one wait.
    for (;;) {
        const int c = nextByte(timeoutMs);
        if (c == ByteChannel::kTimedOut) {
            return Read::TimedOut;
        }
        if (c == ByteChannel::kEnd) {
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

LineSource::Read TcpLineSource::readBytes(std::string& bytes, size_t count, int timeoutMs) {
    if (broken_) {
        return Read::End;
    }
    if (count > kMaxLine) {
        broken_ = true;
        return Read::TooLong;
    }
    for (size_t i = 0; i < count; ++i) {
        const int c = nextByte(timeoutMs);
        if (c == ByteChannel::kTimedOut) {
            return Read::TimedOut;
        }
        if (c == ByteChannel::kEnd) {
            return Read::End;
        }
        bytes += static_cast<char>(c);
    }
    return Read::Line;
}

bool TcpLineSource::writeLine(const std::string& line) {
    if (!alive()) {
        return false;
    }
    try {
        channel().write(line + "\n");
        return true;
    } catch (const TlsError&) {
    } catch (const ost::SockException&) {
    } catch (ost::Socket*) {
    }
    broken_ = true;
    return false;
}

void TcpLineSource::abandon() {
    tls_.reset();
    plain_.reset();
    broken_ = true;
}

void TcpLineSource::startTls(const TlsSettings& settings, int timeoutMs) {
    if (tls_) {
        throw TlsError("TLS is already active");
    }
    if (plain_->hasBufferedInput()) {
        abandon();
        throw TlsError("the server sent data before the TLS handshake");
    }
    try {
        tls_ = std::make_unique<TlsChannel>(std::move(plain_), settings, timeoutMs);
    } catch (const TlsError&) {
        abandon();
        throw;
    }
}
