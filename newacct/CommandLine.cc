// Option and standard-input parsing for newacct.
#include "newacct/CommandLine.h"

#include <getopt.h>

#include <istream>
#include <ostream>
#include <string>

#include "common/ArgumentArea.h"
#include "common/MyException.h"
#include "common/OptionAbbreviations.h"
#include "newacct/NewAcct.h"
#include "newacct/RunSettings.h"

namespace {

// Options added after the first release are marked newer: abbreviations
// that meant an original option keep that meaning.
#define REQUIRED(name) \
    { name, required_argument, nullptr, kOriginalOption }
#define NEWER(name, argument) \
    { name, argument, nullptr, kNewerOption }
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
    {"help", no_argument, nullptr, kOriginalOption},
    {"V", no_argument, nullptr, kOriginalOption},
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
    {"reqpwdchange", no_argument, nullptr, kOriginalOption},
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
    NEWER("tls", no_argument),
    NEWER("ldaps", no_argument),
    NEWER("imaps", no_argument),
    NEWER("cacert", required_argument),
    NEWER("apfile", required_argument),
    NEWER("dryrun", no_argument),
    NEWER("config", required_argument),
    NEWER("batch", required_argument),
    NEWER("encoding", required_argument),
    NEWER("genpw", no_argument),
    {nullptr, 0, nullptr, 0},
};
#undef REQUIRED
#undef NEWER

}  // namespace

bool isStdinMode(int argc, char** argv) {
    return argc <= 1 || std::string(argv[1]) == "-";
}

int readOptions(RunSettings& settings, int argc, char** argv, std::ostream& out) {
    optind = 0;
    opterr = 0;  // our own message names the option as it was given
    OptionAbbreviations args(known_options, argc, argv);
    for (;;) {
        int index = 0;
        const int result = getopt_long_only(args.argc(), args.argv(), ":", known_options, &index);
        if (result == -1) {
            return -1;
        }
        if (result != kOriginalOption && result != kNewerOption) {
            const std::string given = args.given(args.argv()[optind - 1]);
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
