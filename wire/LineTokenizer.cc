// Token scanning for the reply readers.
#include "wire/LineTokenizer.h"

bool LineTokenizer::next(std::string& token) {
    if (finished_) {
        return false;
    }
    const size_t end = line_.find_first_of(delimiters_, position_);
    if (end == std::string::npos) {
        token = line_.substr(position_);
        lastDelimiter_ = '\0';
        position_ = line_.size();
        finished_ = true;
    } else {
        token = line_.substr(position_, end - position_);
        lastDelimiter_ = line_[end];
        position_ = end + 1;
    }
    return true;
}

std::string LineTokenizer::rest() const {
    return finished_ ? std::string() : line_.substr(position_);
}
