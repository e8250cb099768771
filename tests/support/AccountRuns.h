// Runs of the programs that write accounts against a test directory, as an
// administrator types them, and entries read back as sets of values, so
// that what two ways of writing an account left can be compared.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/support/Process.h"
#include "tests/support/Slapd.h"

// -H, -P, -bDN, -al and -ap for the administrator of `slapd`, or of the
// directory on the local port `port` (a proxy in front of it, say).
std::vector<std::string> adminArgs(const Slapd& slapd);
std::vector<std::string> adminArgs(const std::string& port);
// `first` followed by `second`.
std::vector<std::string> joined(std::vector<std::string> first,
                                const std::vector<std::string>& second);

ProcessResult runNewacct(const std::vector<std::string>& args);
ProcessResult runModacct(const std::vector<std::string>& args, const std::string& input = "",
                         const std::vector<std::string>& environment = {});
ProcessResult runSyncacct(const std::vector<std::string>& args,
                          const std::vector<std::string>& environment = {});

// A batch's result lines: uid -> the rest of its line.
std::map<std::string, std::string> resultLines(const std::string& out);

// Attribute name -> values of the entry `dn` (empty when there is none),
// without the attributes named in `leaveOut`.
using EntryValues = std::map<std::string, std::set<std::string>>;
EntryValues entryValues(const Slapd& slapd, const std::string& dn,
                        const std::set<std::string>& leaveOut = {});
// The same, readable in a failure message.
std::string shown(const EntryValues& values);
