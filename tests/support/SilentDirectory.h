// What the tests of silent directories share: the shortened wait, the
// directory parameters of an in-process run (as name/value pairs), and how
// a message names a directory that did not answer.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tests/support/ServerTls.h"
#include "wire/LineSource.h"

using Params = std::vector<std::pair<std::string, std::string>>;

inline const ReplyWaits kShortWaits{300, 300};

// The directory at 127.0.0.1:`port` as the administrator; `tls` "tls" or
// "ldaps" adds it with the test authority. newacct names host and port "H"
// and "P", dropacct "LH" and "LP".
inline Params directoryParams(const std::string& port, const std::string& tls = "",
                              const std::string& prefix = "") {
    Params params{{"bDN", "o=site"}, {"al", "admin"}, {"ap", "secret"}};
    if (!tls.empty()) {
        params.push_back({tls, "1"});
        params.push_back({"cacert", testCertificate("ca.pem")});
    }
    params.push_back({prefix + "H", "127.0.0.1"});
    params.push_back({prefix + "P", port});
    return params;
}

// Whether `message` says that the directory on `port` did not answer
// within kShortWaits.
inline bool namesSilentDirectory(const std::string& message, const std::string& port) {
    return message.find("Timed out: the directory ") != std::string::npos &&
           message.find("127.0.0.1:" + port + " did not answer within 300 ms") != std::string::npos;
}

// An LDAP StartTLS extended response with success for message 1.
inline const std::string kStartTlsGranted(
    "\x30\x0c\x02\x01\x01\x78\x07\x0a\x01\x00\x04\x00\x04\x00", 14);
