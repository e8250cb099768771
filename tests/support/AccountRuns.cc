// Shared runs of newacct, modacct and syncacct.
#include "tests/support/AccountRuns.h"

#include <sstream>

std::vector<std::string> adminArgs(const Slapd& slapd) {
    return adminArgs(slapd.portText());
}

std::vector<std::string> adminArgs(const std::string& port) {
    return {"-H", "127.0.0.1", "-P", port, "-bDN", "o=site", "-al", "admin", "-ap", "secret"};
}

std::vector<std::string> joined(std::vector<std::string> first,
                                const std::vector<std::string>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

ProcessResult runNewacct(const std::vector<std::string>& args) {
    return runProcess(NEWACCT_BIN, args, "", false, {"LC_ALL=C.UTF-8"});
}

ProcessResult runModacct(const std::vector<std::string>& args, const std::string& input,
                         const std::vector<std::string>& environment) {
    return runProcess(MODACCT_BIN, args, input, !input.empty(),
                      joined({"LC_ALL=C.UTF-8"}, environment));
}

ProcessResult runSyncacct(const std::vector<std::string>& args,
                          const std::vector<std::string>& environment) {
    return runProcess(SYNCACCT_BIN, args, "", false, joined({"LC_ALL=C.UTF-8"}, environment));
}

std::map<std::string, std::string> resultLines(const std::string& out) {
    std::map<std::string, std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        lines[line.substr(0, line.find('\t'))] = line.substr(line.find('\t') + 1);
    return lines;
}

EntryValues entryValues(const Slapd& slapd, const std::string& dn,
                        const std::set<std::string>& leaveOut) {
    EntryValues values;
    std::istringstream in(slapd.search(dn, "(objectClass=*)", "base"));
    for (std::string line; std::getline(in, line);) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos || line.rfind("dn:", 0) == 0)
            continue;
        const std::string name = line.substr(0, colon);
        if (leaveOut.count(name) == 0)
            values[name].insert(line.substr(colon));
    }
    return values;
}

std::string shown(const EntryValues& values) {
    std::string text;
    for (const auto& [name, all] : values) {
        for (const std::string& value : all)
            text += name + value + "\n";
    }
    return text;
}
