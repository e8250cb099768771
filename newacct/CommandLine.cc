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
    static const std::vector<option> table = accountOptionTable({
        {"tls", no_argument, nullptr, 0},
        {"ldaps", no_argument, nullptr, 0},
        {"imaps", no_argument, nullptr, 0},
        {"cacert", required_argument, nullptr, 0},
        {"apfile", required_argument, nullptr, 0},
        {"dryrun", no_argument, nullptr, 0},
        {"config", required_argument, nullptr, 0},
        {"batch", required_argument, nullptr, 0},
        {"encoding", required_argument, nullptr, 0},
        {"genpw", no_argument, nullptr, 0},
    });
    return readOptionList(table.data(), argc, argv, {"ap", "up"},
                          [&](const std::string& name, const std::string& value) {
                              if (name == "help") {
                                  usage(out);
                                  return 1;
                              }
                              if (name == "V") {
                                  out << "newacct $Revision: 1.11 $\n" << std::endl;
                                  return 1;
                              }
                              settings.addParam(name, value);
                              return -1;
                          });
}

void readStdin(RunSettings& settings, std::istream& in) {
    readParameterLines(in, [&settings](const std::string& name, const std::string& value) {
        settings.addParam(name, value);
    });
}
