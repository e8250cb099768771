// Text typed by the administrator arrives in the character set of the
// environment's locale; the directory stores UTF-8.
#pragma once

#include <string>

// `value` from the current LC_CTYPE codeset to UTF-8 (unchanged when that is
// UTF-8 already). Raises MyException(255, the system's error text) when the
// codeset cannot be converted or the value is not valid in it.
std::string localeToUtf8(const std::string& value);
