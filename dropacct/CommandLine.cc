// Option and standard-input parsing for dropacct.
#include "dropacct/CommandLine.h"

#include <getopt.h>

#include <istream>
#include <ostream>
#include <string>

#include "common/ArgumentArea.h"
#include "dropacct/DropAcct.h"

namespace {

const option known_options[] = {
    {"CH", required_argument, nullptr, 0},      {"CP", required_argument, nullptr, 0},
    {"SP", required_argument, nullptr, 0},      {"PH", required_argument, nullptr, 0},
    {"PP", required_argument, nullptr, 0},      {"LH", required_argument, nullptr, 0},
    {"LP", required_argument, nullptr, 0},      {"bDN", required_argument, nullptr, 0},
    {"al", required_argument, nullptr, 0},      {"ap", required_argument, nullptr, 0},
    {"pglogin", required_argument, nullptr, 0}, {"pgpasswd", required_argument, nullptr, 0},
    {"uid", required_argument, nullptr, 0},     {"imap", no_argument, nullptr, 0},
    {"ldap", no_argument, nullptr, 0},          {"sieve", no_argument, nullptr, 0},
    {"noacl", no_argument, nullptr, 0},         {"help", no_argument, nullptr, 0},
    {"debug", no_argument, nullptr, 0},         {"V", no_argument, nullptr, 0},
    {"tls", no_argument, nullptr, 0},           {"ldaps", no_argument, nullptr, 0},
    {"imaps", no_argument, nullptr, 0},         {"cacert", required_argument, nullptr, 0},
    {"apfile", required_argument, nullptr, 0},  {"dryrun", no_argument, nullptr, 0},
    {"config", required_argument, nullptr, 0},  {nullptr, 0, nullptr, 0},
};

}  // namespace

bool isStdinMode(int argc, char** argv) {
    return argc <= 1 || std::string(argv[1]) == "-";
}

int readOptions(DropAcct& account, int argc, char** argv, std::ostream& out) {
    account.stdinMode = false;
    optind = 0;  // a fresh scan, also when called more than once
    for (;;) {
        int index = 0;
        const int result = getopt_long_only(argc, argv, "", known_options, &index);
        if (result == -1) {
            return -1;
        }
        if (result != 0) {
            // Unknown option or missing argument: nothing is stored and no
            // server is contacted.
            return 255;
        }
        const std::string name = known_options[index].name;
        if (name == "help") {
            usage(out);
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
            usage(out);
        }
        if (key.empty()) {
            usage(out);
            continue;
        }
        account.addParam(key, value);
    }
}
