// Initial passwords: made up from the system's cryptographic random source,
// and hashed for the directory.
#pragma once

#include <functional>
#include <string>

// The characters of a made-up password: no two that look alike in print
// (no 0/O, 1/l/I).
extern const char kPasswordAlphabet[];
constexpr size_t kMadePasswordLength = 12;

// kMadePasswordLength characters of kPasswordAlphabet, each drawn evenly
// with getrandom(2). Raises MyException(-12) when the source fails.
std::string makePassword();
// The same draw from the bytes `nextByte` returns, so that tests can drive it.
std::string makePassword(const std::function<unsigned char()>& nextByte);

// "{crypt}" and a SHA-512 crypt hash with a fresh salt; safe to call from
// several threads at once. Raises MyException(-12, "password hashing failed").
std::string hashPassword(const std::string& password);
