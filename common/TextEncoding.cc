// UTF-8 checks and iconv conversion.
#include "common/TextEncoding.h"

#include <iconv.h>

#include <cerrno>

std::optional<size_t> firstInvalidUtf8(const std::string& text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const size_t size = text.size();
    for (size_t i = 0; i < size;) {
        const unsigned char lead = bytes[i];
        size_t length = 0;
        unsigned long value = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xe0) == 0xc0) {
            length = 2;
            value = lead & 0x1f;
        } else if ((lead & 0xf0) == 0xe0) {
            length = 3;
            value = lead & 0x0f;
        } else if ((lead & 0xf8) == 0xf0) {
            length = 4;
            value = lead & 0x07;
        } else {
            return i;
        }
        if (i + length > size) {
            return i;
        }
        for (size_t k = 1; k < length; ++k) {
            if ((bytes[i + k] & 0xc0) != 0x80) {
                return i;
            }
            value = (value << 6) | (bytes[i + k] & 0x3f);
        }
        static const unsigned long kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (value < kSmallest[length] || value > 0x10ffff || (value >= 0xd800 && value <= 0xdfff)) {
            return i;
        }
        i += length;
    }
    return std::nullopt;
}

namespace {

class Converter {
  public:
    explicit Converter(const std::string& from) : handle_(iconv_open("UTF-8", from.c_str())) {}
    ~Converter() {
        if (valid()) {
            iconv_close(handle_);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return handle_; }

  private:
    iconv_t handle_;
};

}  // namespace

Conversion convertToUtf8(const std::string& text, const std::string& encoding) {
    Conversion result;
    const Converter converter(encoding);
    if (!converter.valid()) {
        result.unknownEncoding = true;
        result.error = errno;
        return result;
    }
    std::string input = text;
    char* in = input.data();
    size_t inLeft = input.size();
    char buffer[8192];
    while (inLeft > 0) {
        char* out = buffer;
        size_t outLeft = sizeof buffer;
        const size_t done = iconv(converter.get(), &in, &inLeft, &out, &outLeft);
        result.text.append(buffer, static_cast<size_t>(out - buffer));
        if (done == static_cast<size_t>(-1) && errno != E2BIG) {
            result.failedAt = static_cast<size_t>(in - input.data());
            result.error = errno;
            return result;
        }
    }
    // Encodings with a shift state end with a reset sequence.
    char* out = buffer;
    size_t outLeft = sizeof buffer;
    iconv(converter.get(), nullptr, nullptr, &out, &outLeft);
    result.text.append(buffer, static_cast<size_t>(out - buffer));
    return result;
}
