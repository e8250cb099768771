// syncacct's standard-input parameters on arbitrary input, in a UTF-8 and in
// an ASCII locale (the first byte chooses): the settings and their checks,
// and the lines that name an account's parameters taken as one roster row,
// whose change request the sync makes of it.
#include <clocale>
#include <sstream>

#include "common/MyException.h"
#include "common/ParameterInput.h"
#include "fuzz/FuzzInput.h"
#include "newacct/NewAcct.h"
#include "syncacct/SyncPlan.h"
#include "syncacct/SyncSettings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    std::setlocale(LC_CTYPE, data[0] & 1 ? "C.UTF-8" : "C");
    std::istringstream in(asString(data + 1, size - 1));
    SyncSettings settings;
    BatchRow row{1, "", {}};
    try {
        readParameterLines(in, [&](const std::string& name, const std::string& value) {
            if (name == "uid" || (name != "batch" && NewAcct::isAccountParam(name))) {
                row.uid = name == "uid" ? value : row.uid;
                row.cells.emplace_back(name, value);
            } else {
                settings.addParam(name, value);
            }
        });
        settings.check();
    } catch (const MyException&) {
    }
    if (!row.uid.empty()) {
        SyncPlan plan(settings, {row});
        plan.request({"leaver"});
    }
    return 0;
}
