// Parameters of a removal run: defaults, storing and checking.
#include "dropacct/RemovalSettings.h"

#include <cstdlib>
#include <iostream>

#include "common/LoginName.h"
#include "common/MyException.h"
#include "common/Roster.h"
#include "common/SecretFiles.h"

namespace {
// Numbers convert like strtol: leading digits count, anything else gives 0.
int toInt(const std::string& value) {
    return static_cast<int>(std::strtol(value.c_str(), nullptr, 10));
}
}  // namespace

void RemovalSettings::markGiven(const std::string& name) {
    given_.insert(overrideKey(name));
}

void RemovalSettings::applySiteDefaults(const std::string& standardFile) {
    ::applySiteDefaults(configFile_, standardFile, given_, [this](const Setting& setting) {
        // A roster is named for one run, never for every run.
        if (setting.name != "batch") {
            store(setting.name, setting.value);
        }
    });
}

void RemovalSettings::store(const std::string& name, const std::string& value) {
    if (tls.set(name, value)) {
        return;
    }
    if (name == "imap") {
        imap = true;
    } else if (name == "ldap") {
        ldap = true;
    } else if (name == "sieve") {
        sieve = true;
    } else if (name == "noacl") {
        processAcls = false;
    } else if (name == "dryrun") {
        dryRun = value != "off";
    } else if (name == "CH") {
        cyrusHost = value;
    } else if (name == "CP") {
        cyrusPort = toInt(value);
    } else if (name == "SP") {
        sievePort = toInt(value);
    } else if (name == "PH") {
        pgHost_ = value;
    } else if (name == "PP") {
        pgPort_ = toInt(value);
    } else if (name == "LH") {
        ldapHost = value;
    } else if (name == "LP") {
        ldapPort = toInt(value);
    } else if (name == "bDN") {
        baseDN = value;
    } else if (name == "al") {
        adminLogin = value;
    } else if (name == "ap") {
        adminPassword = value;
    } else if (name == "apfile") {
        adminPassword = readPasswordFile(value);
    } else if (name == "config") {
        configFile_ = value;
    } else if (name == "pglogin") {
        pgLogin_ = value;
    } else if (name == "pgpasswd") {
        pgPassword_ = value;
    } else if (name == "uid") {
        // As newacct stores it, before any stage can use it.
        uid = lowerCaseLogin(value);
    } else if (name == "batch") {
        batchFile = value;
    } else if (name == "encoding") {
        encoding = value;
    }
    // Unknown names are ignored: front ends may send more than we use.
}

TlsSettings RemovalSettings::tlsFor(const std::string& host) const {
    TlsSettings settings;
    settings.caFile = tls.caFile;
    settings.serverName = host;
    return settings;
}

void RemovalSettings::checkUid(const std::string& uid) {
    if (uid.empty())
        throw MyException(-4, "you must define option -uid");
    if (!isUsableLoginName(uid)) {
        throw MyException(-4, "invalid uid: blanks at its ends or control characters");
    }
}

void RemovalSettings::check() const {
    if (!batch()) {
        checkUid(uid);
    } else if (!uid.empty()) {
        throw MyException(kBatchRefused, "give either -uid or -batch, not both");
    }
    if (ldap) {
        if (ldapHost.empty())
            throw MyException(-10, "invalid LDAP-Server");
        if (ldapPort == 0)
            throw MyException(-11, "invalid LDAP-Port");
        if (baseDN.empty())
            throw MyException(-5, "you must define option -bDN");
        if (adminLogin.empty())
            throw MyException(-2, "you must define option -al");
        if (adminPassword.empty())
            throw MyException(-3, "you must define option -ap");
    }
    if (imap) {
        if (cyrusHost.empty())
            throw MyException(-10, "invalid IMAP-Server");
        if (cyrusPort == 0)
            throw MyException(-11, "invalid IMAP-Port");
        if (adminLogin.empty())
            throw MyException(-2, "you must define option -al");
        if (adminPassword.empty())
            throw MyException(-3, "you must define option -ap");
    }
}

std::string RemovalSettings::stageNames() const {
    // In the order they run: a sync's removal leaves the directory last.
    std::string stages;
    for (const auto& [chosen, name] : {std::pair<bool, const char*>{ldap && !directoryLast, "ldap"},
                                       {sieve, "sieve"},
                                       {imap, "imap"},
                                       {ldap && directoryLast, "ldap"}}) {
        if (chosen) {
            stages += (stages.empty() ? "" : ",") + std::string(name);
        }
    }
    return stages.empty() ? "none" : stages;
}

void RemovalSettings::trace(const std::string& line) const {
    if (debug) {
        std::cerr << line << std::endl;
    }
}
