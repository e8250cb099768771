// Option and standard-input parsing for newacct.
#include "newacct/CommandLine.h"

#include <getopt.h>

#include <istream>
#include <ostream>
#include <string>

#include "common/ArgumentArea.h"
#include "common/MyException.h"
#include "newacct/NewAcct.h"
#include "newacct/RunSettings.h"

namespace {

#define REQUIRED(name) \
    { name, required_argument, nullptr, 0 }
const option known_options[] = {
    REQUIRED("bDN"),
    REQUIRED("al"),
    REQUIRED("ap"),
    REQUIRED("up"),
    REQUIRED("homedirectory"),
    REQUIRED("loginshell"),
    REQUIRED("H"),
    REQUIRED("P"),
    REQUIRED("gidnumber"),
    REQUIRED("uidnumber"),
    REQUIRED("writeglobaladdress"),
    {"help", no_argument, nullptr, 0},
    {"V", no_argument, nullptr, 0},
    REQUIRED("uid"),
    REQUIRED("sn"),
    REQUIRED("givenname"),
    REQUIRED("mail"),
    REQUIRED("alias"),
    REQUIRED("o"),
    REQUIRED("l"),
    REQUIRED("c"),
    REQUIRED("timezone"),
    REQUIRED("preferredlanguage"),
    REQUIRED("ou"),
    REQUIRED("title"),
    REQUIRED("initials"),
    REQUIRED("homephone"),
    REQUIRED("mobile"),
    REQUIRED("facsimiletelephonenumber"),
    REQUIRED("pager"),
    REQUIRED("telephonenumber"),
    REQUIRED("labeleduri"),
    REQUIRED("street"),
    REQUIRED("postalcode"),
    REQUIRED("st"),
    REQUIRED("jpegphoto"),
    REQUIRED("shadowmax"),
    {"reqpwdchange", no_argument, nullptr, 0},
    REQUIRED("logindestination"),
    REQUIRED("birthday"),
    REQUIRED("faxdid"),
    REQUIRED("smsdid"),
    REQUIRED("printid"),
    REQUIRED("dointernetconn"),
    REQUIRED("dyceenabled"),
    REQUIRED("colocrouteaddr"),
    REQUIRED("religion"),
    REQUIRED("mailenabled"),
    REQUIRED("groupware"),
    REQUIRED("class"),
    {"tls", no_argument, nullptr, 0},
    {"ldaps", no_argument, nullptr, 0},
    {"imaps", no_argument, nullptr, 0},
    REQUIRED("cacert"),
    REQUIRED("apfile"),
    {"dryrun", no_argument, nullptr, 0},
    REQUIRED("config"),
    REQUIRED("batch"),
    REQUIRED("encoding"),
    {"genpw", no_argument, nullptr, 0},
    {nullptr, 0, nullptr, 0},
};
#undef REQUIRED

}  // namespace

bool isStdinMode(int argc, char** argv) {
    return argc <= 1 || std::string(argv[1]) == "-";
}

int readOptions(RunSettings& settings, int argc, char** argv, std::ostream& out) {
    optind = 0;
    opterr = 0;  // our own message names the option as it was given
    for (;;) {
        int index = 0;
        const int result = getopt_long_only(argc, argv, ":", known_options, &index);
        if (result == -1) {
            return -1;
        }
        if (result != 0) {
            const std::string given = argv[optind - 1];
            throw MyException(
                255, (result == ':' ? "missing value for option: " : "wrong option: ") + given);
        }
        const std::string name = known_options[index].name;
        if (name == "help") {
            usage(out);
            return 1;
        }
        if (name == "V") {
            out << "newacct $Revision: 1.11 $\n" << std::endl;
            return 1;
        }
        settings.addParam(name, optarg ? optarg : "");
        if (name == "ap" || name == "up") {
            eraseArgument(optarg);
        }
    }
}

void readStdin(RunSettings& settings, std::istream& in) {
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
            settings.addParam(name, value);
        }
    }
}
