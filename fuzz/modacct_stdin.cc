// modacct's standard-input parameters on arbitrary input, in a UTF-8 and in
// an ASCII locale (the first byte chooses): the settings, the change request
// they make and its checks.
#include <clocale>
#include <sstream>

#include "common/MyException.h"
#include "common/ParameterInput.h"
#include "fuzz/FuzzInput.h"
#include "modacct/ChangeSettings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    std::setlocale(LC_CTYPE, data[0] & 1 ? "C.UTF-8" : "C");
    std::istringstream in(asString(data + 1, size - 1));
    ChangeSettings settings;
    try {
        readParameterLines(in, [&settings](const std::string& name, const std::string& value) {
            settings.addParam(name, value);
        });
        settings.checkSession();
        settings.request().check();
    } catch (const MyException&) {
    }
    return 0;
}
