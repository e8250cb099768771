// convertToUTF8 on arbitrary bytes in an ASCII and a UTF-8 locale: it either
// returns valid output or raises its MyException.
#include <clocale>

#include "common/MyException.h"
#include "fuzz/FuzzInput.h"
#include "newacct/NewAcct.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    std::setlocale(LC_CTYPE, data[0] & 1 ? "C.UTF-8" : "C");
    const NewAcct account;
    try {
        account.convertToUTF8(asString(data + 1, size - 1));
    } catch (const MyException&) {
    }
    return 0;
}
