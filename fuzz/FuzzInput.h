// Helpers shared by the fuzz targets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>

inline std::string asString(const uint8_t* data, size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

// The input split at LF, as a reader would see its lines (LF dropped).
inline std::list<std::string> asLines(const std::string& bytes) {
    std::list<std::string> lines;
    size_t start = 0;
    while (start <= bytes.size()) {
        const size_t end = bytes.find('\n', start);
        if (end == std::string::npos) {
            if (start < bytes.size())
                lines.push_back(bytes.substr(start));
            break;
        }
        lines.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}
