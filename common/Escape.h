// Escaping of user-supplied values before they go into a search filter or a
// distinguished name, so that a value such as "*" or "a)(uid=b" cannot widen
// a search and "jdoe,ou=staff" cannot address another entry. Ordinary names
// (letters, digits, dot, hyphen, underscore) come out unchanged.
#pragma once

#include <string>

// An assertion value inside a filter: "*", "(", ")", "\" and NUL become "\2a",
// "\28", "\29", "\5c" and "\00".
std::string escapeFilterValue(const std::string& value);

// An attribute value inside a DN: the special characters get a backslash, a
// leading "#" or blank and a trailing blank too, and control characters
// become hex pairs ("\00", "\0a").
std::string escapeDnValue(const std::string& value);
