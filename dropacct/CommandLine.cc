// Option and standard-input parsing for dropacct.
#include "dropacct/CommandLine.h"

#include <getopt.h>

#include <istream>
#include <ostream>
#include <string>

#include "common/ArgumentArea.h"
#include "common/OptionAbbreviations.h"
#include "dropacct/DropAcct.h"

namespace {

// Options added after the first release are marked newer: abbreviations
// that meant an original option keep that meaning.
const option known_options[] = {
    {"CH", required_argument, nullptr, kOriginalOption},
    {"CP", required_argument, nullptr, kOriginalOption},
    {"SP", required_argument, nullptr, kOriginalOption},
    {"PH", required_argument, nullptr, kOriginalOption},
    {"PP", required_argument, nullptr, kOriginalOption},
    {"LH", required_argument, nullptr, kOriginalOption},
    {"LP", required_argument, nullptr, kOriginalOption},
    {"bDN", required_argument, nullptr, kOriginalOption},
    {"al", required_argument, nullptr, kOriginalOption},
    {"ap", required_argument, nullptr, kOriginalOption},
    {"pglogin", required_argument, nullptr, kOriginalOption},
    {"pgpasswd", required_argument, nullptr, kOriginalOption},
    {"uid", required_argument, nullptr, kOriginalOption},
    {"imap", no_argument, nullptr, kOriginalOption},
    {"ldap", no_argument, nullptr, kOriginalOption},
    {"sieve", no_argument, nullptr, kOriginalOption},
    {"noacl", no_argument, nullptr, kOriginalOption},
    {"help", no_argument, nullptr, kOriginalOption},
    {"debug", no_argument, nullptr, kOriginalOption},
    {"V", no_argument, nullptr, kOriginalOption},
    {"tls", no_argument, nullptr, kNewerOption},
    {"ldaps", no_argument, nullptr, kNewerOption},
    {"imaps", no_argument, nullptr, kNewerOption},
    {"cacert", required_argument, nullptr, kNewerOption},
    {"apfile", required_argument, nullptr, kNewerOption},
    {"dryrun", no_argument, nullptr, kNewerOption},
    {"config", required_argument, nullptr, kNewerOption},
    {"batch", required_argument, nullptr, kNewerOption},
    {"encoding", required_argument, nullptr, kNewerOption},
    {nullptr, 0, nullptr, 0},
};

}  // namespace

int readOptions(DropAcct& account, int argc, char** argv, std::ostream& out) {
    account.stdinMode = false;
    optind = 0;  // a fresh scan, also when called more than once
    OptionAbbreviations args(known_options, argc, argv);
    for (;;) {
        int index = 0;
        const int result = getopt_long_only(args.argc(), args.argv(), "", known_options, &index);
        if (result == -1) {
            return -1;
        }
        if (result != kOriginalOption && result != kNewerOption) {
            // Unknown option or missing argument: nothing is stored and no
            // server is contacted.
            return 255;
        }
        const std::string name = known_options[index].name;
        if (name == "help") {
            dropacctUsage(out);
            return 1;
        }
        if (name == "V") {
            out << "dropacct $Revision: 1.2 $\n" << std::endl;
            return 1;
        }
        if (name == "debug") {
            account.debug = true;
            continue;
        }
        account.addParam(name, optarg ? optarg : "");
        if (name == "ap" || name == "pgpasswd") {
            eraseArgument(optarg);
        }
    }
}

void readStdin(DropAcct& account, std::istream& in, std::ostream& out) {
    account.stdinMode = true;
    std::string line;
    while (std::getline(in, line)) {
        if (line == "imap" || line == "ldap" || line == "sieve" || line == "noacl" ||
            line == "tls" || line == "ldaps" || line == "imaps" || line == "dryrun") {
            account.addParam(line, "");
            continue;
        }
        const size_t equals = line.find('=');
        const std::string key = line.substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : line.substr(equals + 1);
        if (value.empty()) {
            dropacctUsage(out);
        }
        if (key.empty()) {
            dropacctUsage(out);
            continue;
        }
        account.addParam(key, value);
    }
}
