// Made-up passwords and their hashes.
#include "account/Passwords.h"

#include <crypt.h>
#include <sys/random.h>

#include <cerrno>
#include <cstring>

#include "common/MyException.h"

const char kPasswordAlphabet[] = "abcdefghijkmnopqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789";

namespace {

unsigned char randomByte() {
    thread_local unsigned char pool[256];
    thread_local size_t left = 0;
    if (left == 0) {
        ssize_t got;
        do {
            got = getrandom(pool, sizeof pool, 0);
        } while (got < 0 && errno == EINTR);
        if (got != static_cast<ssize_t>(sizeof pool)) {
            throw MyException(-12, "no random numbers for a password");
        }
        left = sizeof pool;
    }
    return pool[--left];
}

}  // namespace

std::string makePassword() {
    return makePassword(randomByte);
}

std::string makePassword(const std::function<unsigned char()>& nextByte) {
    const size_t size = sizeof kPasswordAlphabet - 1;
    // Bytes at or above the largest multiple of the alphabet's size are
    // dropped, so every character is equally likely.
    const unsigned limit = 256 - 256 % size;
    std::string password;
    while (password.size() < kMadePasswordLength) {
        const unsigned byte = nextByte();
        if (byte < limit) {
            password += kPasswordAlphabet[byte % size];
        }
    }
    return password;
}

std::string hashPassword(const std::string& password) {
    // SHA-512 crypt with a salt from the system's random source: the
    // traditional DES crypt keeps only eight characters of a password.
    // Consumers check "{crypt}" values through crypt(3) whatever its method.
    char salt[CRYPT_GENSALT_OUTPUT_SIZE];
    crypt_data data{};
    const char* hash = crypt_gensalt_rn("$6$", 0, nullptr, 0, salt, sizeof salt)
                           ? crypt_r(password.c_str(), salt, &data)
                           : nullptr;
    if (!hash || hash[0] == '*') {
        throw MyException(-12, "password hashing failed");
    }
    return std::string("{crypt}") + hash;
}
