// Storing and checking the session's settings.
#include "account/SessionSettings.h"

#include <cstdlib>

#include "common/MyException.h"
#include "common/SecretFiles.h"

bool SessionSettings::set(const std::string& name, const std::string& value) {
    if (tls.set(name, value)) {
        // -imaps is taken for site defaults shared with dropacct: these
        // programs have no IMAP connection, but still ask for a protected bind.
    } else if (name == "bDN") {
        baseDN = value;
    } else if (name == "al") {
        adminLogin = value;
    } else if (name == "ap") {
        adminPassword = value;
    } else if (name == "apfile") {
        adminPassword = readPasswordFile(value);
    } else if (name == "config") {
        configFile = value;
    } else if (name == "H") {
        host = value;
    } else if (name == "P") {
        port = static_cast<int>(std::strtol(value.c_str(), nullptr, 10));
    } else {
        return false;
    }
    return true;
}

void SessionSettings::check() const {
    if (adminLogin.empty())
        throw MyException(-2, "you must define option -al");
    if (baseDN.empty())
        throw MyException(-3, "you must define option -bDN");
    if (adminPassword.empty())
        throw MyException(-4, "you must define option -ap");
}

DirectoryParams SessionSettings::params() const {
    return DirectoryParams{host,        port, baseDN, adminLogin, adminPassword, tls.directory(),
                           answerWaitMs};
}
