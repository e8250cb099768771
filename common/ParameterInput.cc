// Reading options and standard-input parameters.
#include "common/ParameterInput.h"

#include <istream>

#include "common/ArgumentArea.h"
#include "common/MyException.h"
#include "common/OptionAbbreviations.h"

bool isStdinMode(int argc, char** argv) {
    return argc <= 1 || std::string(argv[1]) == "-";
}

int readOptionList(const option* table, int argc, char** argv, const std::set<std::string>& secrets,
                   const std::function<int(const std::string&, const std::string&)>& take) {
    optind = 0;
    opterr = 0;  // our own message names the option as it was given
    OptionAbbreviations args(table, argc, argv);
    for (;;) {
        int index = 0;
        const int result = getopt_long_only(args.argc(), args.argv(), ":", table, &index);
        if (result == -1) {
            return -1;
        }
        if (result != kOriginalOption && result != kNewerOption) {
            const std::string given = args.given(args.argv()[optind - 1]);
            throw MyException(
                255, (result == ':' ? "missing value for option: " : "wrong option: ") + given);
        }
        const std::string name = table[index].name;
        const int status = take(name, optarg ? optarg : "");
        if (secrets.count(name) > 0) {
            eraseArgument(optarg);
        }
        if (status >= 0) {
            return status;
        }
    }
}

void readParameterLines(std::istream& in,
                        const std::function<void(const std::string&, const std::string&)>& take) {
    std::string line;
    while (std::getline(in, line)) {
        const size_t equals = line.find('=');
        const std::string name = line.substr(0, equals);
        std::string value = equals == std::string::npos ? line : line.substr(equals + 1);
        // A multi-line value continues on lines that start with one blank.
        while (in.peek() == ' ') {
            in.get();
            std::string continuation;
            std::getline(in, continuation);
            value += "\n" + continuation;
        }
        if (!name.empty() && !value.empty()) {
            take(name, value);
        }
    }
}
