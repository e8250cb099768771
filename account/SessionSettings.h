// The directory session's settings of the programs that write accounts, as
// the options, standard input and the site defaults file give them: the
// server, the base DN, the administrator and its password, TLS, the site
// defaults file itself, and how long an answer may take.
#pragma once

#include <string>

#include "common/AdminSession.h"
#include "common/TlsOptions.h"

struct SessionSettings {
    std::string host = "localhost";
    int port = 389;
    std::string baseDN;
    std::string adminLogin;
    std::string adminPassword;
    TlsOptions tls;
    std::string configFile;
    int answerWaitMs = ReplyWaits().firstLineMs;

    // Stores `name` when it is one of these settings (bDN, al, ap, apfile,
    // H, P, the TLS options, config); false for any other name. Raises
    // MyException(kFileRefused) for a password file that cannot be used.
    bool set(const std::string& name, const std::string& value);
    // MyException(-2, -3, -4) when -al, -bDN or -ap is missing, in that order.
    void check() const;
    DirectoryParams params() const;
};
