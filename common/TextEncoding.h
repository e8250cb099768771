// Character sets of files written elsewhere: checking UTF-8 and converting
// other encodings to it with iconv.
#pragma once

#include <optional>
#include <string>

// The offset of the first byte that does not belong to a well-formed UTF-8
// sequence (overlong forms, surrogates and values above U+10FFFF count as
// malformed), or nothing when the whole text is UTF-8.
std::optional<size_t> firstInvalidUtf8(const std::string& text);

struct Conversion {
    std::string text;                // the converted text, when it succeeded
    std::optional<size_t> failedAt;  // else the offset of the first byte that failed
    bool unknownEncoding = false;    // iconv does not know the encoding
    int error = 0;                   // errno of the failure
};

// `text` from `encoding` (an iconv name) to UTF-8.
Conversion convertToUtf8(const std::string& text, const std::string& encoding);
