// Line splitting over a byte buffer.
#include "wire/LineSource.h"

LineSource::Read BufferLineSource::readLine(std::string& line, int) {
    line.clear();
    const size_t end = bytes_.find('\n', position_);
    if (end == std::string::npos) {
        position_ = bytes_.size();
        return Read::TimedOut;
    }
    if (end - position_ > kMaxLine) {
        position_ = end + 1;
        return Read::TooLong;
    }
    line = bytes_.substr(position_, end - position_);
    position_ = end + 1;
    return Read::Line;
}

LineSource::Read BufferLineSource::readBytes(std::string& bytes, size_t count, int) {
    if (count > kMaxLine) {
        position_ = bytes_.size();
        return Read::TooLong;
    }
    if (bytes_.size() - position_ < count) {
        position_ = bytes_.size();
        return Read::TimedOut;
    }
    bytes.append(bytes_, position_, count);
    position_ += count;
    return Read::Line;
}

int ReplyLineReader::next(std::string& line) {
    if (first_) {
        first_ = false;
        if (!source_.waitForInput(waits_.firstLineMs)) {
            return kFirstTimeout;
        }
    }
    if (!source_.waitForInput(waits_.nextLineMs)) {
        return kLineTimeout;
    }
    if (source_.errorPending()) {
        return kConnectionLost;
    }
    switch (source_.readLine(line, waits_.nextLineMs)) {
        case LineSource::Read::Line:
            return line.empty() ? kConnectionClosed : 0;
        case LineSource::Read::TimedOut:
            return kLineTimeout;
        default:
            return kConnectionClosed;
    }
}

int ReplyLineReader::nextBytes(std::string& bytes, size_t count) {
    // Bytes inside a reply: its first line has come.
    first_ = false;
    switch (source_.readBytes(bytes, count, waits_.nextLineMs)) {
        case LineSource::Read::Line:
            return 0;
        case LineSource::Read::TimedOut:
            return kLineTimeout;
        default:
            return kConnectionClosed;
    }
}
