// Where the IMAP and Sieve reply readers get their lines from: a connection
// in the programs, plain bytes in the tests and fuzz targets.
#pragma once

#include <string>

class LineSource {
  public:
    enum class Read { Line, TimedOut, End, TooLong };

    virtual ~LineSource() = default;

    // True when input arrives within `timeoutMs` (or is already buffered).
    virtual bool waitForInput(int timeoutMs) = 0;
    // True when the connection reports an error condition right now.
    virtual bool errorPending() = 0;
    // Reads up to the next LF, which is dropped; a CR before it stays. Each
    // further byte must arrive within `timeoutMs`. End: the peer closed (or
    // the read failed) before a whole line; the partial line is dropped.
    virtual Read readLine(std::string& line, int timeoutMs) = 0;
    // Appends the next `count` bytes as they come (an IMAP literal), each
    // within `timeoutMs`. TooLong, and the connection broken for good, for
    // a count above kMaxLine.
    virtual Read readBytes(std::string& bytes, size_t count, int timeoutMs) = 0;

    // Longest line accepted; a peer that sends more without a line end is
    // not speaking the protocol.
    static constexpr size_t kMaxLine = 1 << 20;
};

// How long a reply reader waits: for the first line of a reply, and for
// each further line (and each byte within a line).
struct ReplyWaits {
    int firstLineMs = 30000;
    int nextLineMs = 20000;
};

// The lines of one reply, with the waits and the local failures that the
// IMAP and Sieve readers share.
class ReplyLineReader {
  public:
    enum Failure {
        kLineTimeout = -3,       // no further line in time
        kFirstTimeout = -4,      // no first line in time
        kConnectionLost = -5,    // the connection reports an error
        kConnectionClosed = -6,  // end of stream, a read error or an empty line
    };

    ReplyLineReader(LineSource& source, const ReplyWaits& waits) : source_(source), waits_(waits) {}

    // 0 with the next line, or one of the failures.
    int next(std::string& line);
    // 0 with the next `count` bytes appended to `bytes` (a literal inside
    // a reply), or one of the failures.
    int nextBytes(std::string& bytes, size_t count);

  private:
    LineSource& source_;
    const ReplyWaits& waits_;
    bool first_ = true;
};

// Lines from a fixed byte string: everything is "already there", and the
// end of the bytes is a silent peer (waits time out at once).
class BufferLineSource : public LineSource {
  public:
    explicit BufferLineSource(std::string bytes) : bytes_(std::move(bytes)) {}

    bool waitForInput(int) override { return position_ < bytes_.size(); }
    bool errorPending() override { return false; }
    Read readLine(std::string& line, int) override;
    Read readBytes(std::string& bytes, size_t count, int) override;

  private:
    std::string bytes_;
    size_t position_ = 0;
};
