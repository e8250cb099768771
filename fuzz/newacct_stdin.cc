// newacct's standard-input parameter reader on arbitrary input, in a UTF-8
// and in an ASCII locale (the first byte chooses).
#include <clocale>
#include <sstream>

#include "common/MyException.h"
#include "fuzz/FuzzInput.h"
#include "newacct/CommandLine.h"
#include "newacct/NewAcct.h"
#include "newacct/RunSettings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    std::setlocale(LC_CTYPE, data[0] & 1 ? "C.UTF-8" : "C");
    std::istringstream in(asString(data + 1, size - 1));
    RunSettings settings;
    try {
        readStdin(settings, in);
        settings.account().checkParams();
    } catch (const MyException&) {
    }
    return 0;
}
