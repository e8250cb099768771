// A client connection to a line-based server: line-at-a-time reading with
// waits and LF-terminated writes over a byte channel, which is the plain
// TCP connection until TLS is put under it.
#pragma once

#include <memory>
#include <string>

#include "wire/LineSource.h"
#include "wire/TcpChannel.h"
#include "wire/TlsChannel.h"

// What in `line` keeps it from going out as one protocol line ("a line
// break", "a NUL byte"), or an empty text: a value must never be able to
// end a command and start one of its own.
std::string unsendable(const std::string& line);

// `text` escaped for a quoted string of IMAP and ManageSieve: a backslash
// before each backslash and double quote.
std::string escapedForQuotes(const std::string& text);

class TcpLineSource : public LineSource {
  public:
    // Connects; a failure raises the socket library's exception
    // (ost::Socket* or ost::SockException, depending on its mode).
    TcpLineSource(const char* host, unsigned int port);
    ~TcpLineSource() override;

    bool waitForInput(int timeoutMs) override;
    bool errorPending() override;
    Read readLine(std::string& line, int timeoutMs) override;
    Read readBytes(std::string& bytes, size_t count, int timeoutMs) override;

    // Writes the line and a single LF. False when the connection is known
    // to be dead (then nothing is written) or the write failed; the
    // connection is then dead for good.
    bool writeLine(const std::string& line);

    // Puts TLS under the connection (the handshake within `timeoutMs`).
    // Raises TlsError, also when bytes arrived after the last line read:
    // they came unprotected and cannot be told from an attacker's.
    void startTls(const TlsSettings& settings, int timeoutMs);
    bool secure() const { return tls_ != nullptr; }
    // Closes the connection for good: after a failed STARTTLS nothing more
    // may be sent, least of all a credential in clear.
    void abandon();
    // False once the connection was abandoned or a handshake failed.
    bool open() const { return plain_ || tls_; }
    // False as well once the peer closed or a write failed: a session known
    // dead, on which cleanup must not write.
    bool alive() const { return open() && !broken_; }

  private:
    ByteChannel& channel() { return tls_ ? static_cast<ByteChannel&>(*tls_) : *plain_; }
    // The next byte within `timeoutMs`, or ByteChannel::kTimedOut or kEnd
    // (after which the connection is broken for good).
    int nextByte(int timeoutMs);

    std::unique_ptr<TcpChannel> plain_;  // until TLS takes it over
    std::unique_ptr<TlsChannel> tls_;
    // Set once a line overflowed, TLS failed, the peer closed or a write
    // failed: the exchange is over for good, so every later read fails at
    // once instead of waiting, and nothing more is written.
    bool broken_ = false;
};
