// Ways of running dropacct that several tests share: a whole removal from
// the test servers as a command, and its stages in this process against
// scripted servers.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "common/MyException.h"
#include "tests/support/Cyrus.h"
#include "tests/support/Slapd.h"
#include "wire/LineSource.h"

// The arguments of `dropacct -ldap -imap -sieve` for `uid` against both
// servers, as the administrator.
std::vector<std::string> removalEverywhere(const Slapd& slapd, const Cyrus& cyrus,
                                           const std::string& uid);

// Runs dropAcct() in this process with `params` (name, value; "debug" sets
// -debug) and shortened reply waits; the MyException it ended with, or code 0.
MyException dropInProcess(const std::vector<std::pair<std::string, std::string>>& params,
                          const ReplyWaits& waits);
