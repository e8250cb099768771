// Erasing option values from argv.
#include "common/ArgumentArea.h"

#include <cstring>

void eraseArgument(char* value) {
    if (value) {
        std::memset(value, 0, std::strlen(value));
    }
}
