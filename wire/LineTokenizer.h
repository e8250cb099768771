// Splits one protocol line into tokens the way the IMAP and Sieve replies
// are read: every single delimiter ends a token (two in a row give an empty
// token, a delimiter at the end gives a final empty token), the delimiter
// set can change between tokens, and the rest of the line can be taken
// whole. Works on any bytes and never reads past the line.
#pragma once

#include <string>

class LineTokenizer {
  public:
    static constexpr const char* kSpace = " \t\n\r\f\v";

    LineTokenizer(const std::string& line, std::string delimiters)
        : line_(line), delimiters_(std::move(delimiters)) {}

    void setDelimiters(std::string delimiters) { delimiters_ = std::move(delimiters); }

    // The next token, or false when the line is used up.
    bool next(std::string& token);
    // The delimiter that ended the last token; '\0' when the line ended it.
    char lastDelimiter() const { return lastDelimiter_; }
    // Everything after the last token's delimiter (empty at the end).
    std::string rest() const;

  private:
    const std::string& line_;
    std::string delimiters_;
    size_t position_ = 0;
    bool finished_ = false;
    char lastDelimiter_ = '\0';
};
