// Text typed by the administrator arrives in the character set of the
// environment's locale; the directory stores UTF-8.
#pragma once

#include <string>

// `value` from the current LC_CTYPE codeset to UTF-8 (unchanged when that is
// UTF-8 already). Raises MyException(255, the system's error text) when the
// codeset cannot be converted or the value is not valid in it.
std::string localeToUtf8(const std::string& value);

// Front ends send UTF-8 on standard input: the character-type locale becomes
// de_DE.utf8, else C.UTF-8 (Debian installs C.UTF-8 but rarely de_DE.utf8;
// without a UTF-8 locale every non-ASCII value would fail its conversion).
void useUtf8Locale();
