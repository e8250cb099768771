// Conversion of typed text to UTF-8.
#include "account/LocaleText.h"

#include <langinfo.h>

#include <cstring>

#include "common/MyException.h"
#include "common/TextEncoding.h"

std::string localeToUtf8(const std::string& value) {
    const char* codeset = nl_langinfo(CODESET);
    if (std::strcmp(codeset, "UTF-8") == 0) {
        return value;
    }
    const Conversion converted = convertToUtf8(value, codeset);
    if (converted.unknownEncoding || converted.failedAt) {
        throw MyException(255, std::strerror(converted.error));
    }
    return converted.text;
}
