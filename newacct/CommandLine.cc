// Option and standard-input parsing for newacct.
#include "newacct/CommandLine.h"

#include <istream>
#include <ostream>
#include <string>

#include "account/AccountOptions.h"
#include "common/ParameterInput.h"
#include "newacct/NewAcct.h"
#include "newacct/RunSettings.h"

int readOptions(RunSettings& settings, int argc, char** argv, std::ostream& out) {
    // Options added after the first release are newer: abbreviations that
    // meant an original option keep that meaning.
    static const std::vector<option> table = accountOptionTable({});
    return readAccountOptions(table, argc, argv, out, "newacct $Revision: 1.11 $", newacctUsage,
                              [&settings](const std::string& name, const std::string& value) {
                                  settings.addParam(name, value);
                              });
}

void readStdin(RunSettings& settings, std::istream& in) {
    readParameterLines(in, [&settings](const std::string& name, const std::string& value) {
        settings.addParam(name, value);
    });
}
