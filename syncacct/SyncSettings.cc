// Storing syncacct's settings and handing each program's on.
#include "syncacct/SyncSettings.h"

#include <cctype>
#include <cstdlib>

#include "common/MyException.h"
#include "common/SecretFiles.h"
#include "newacct/NewAcct.h"

namespace {

bool on(const std::string& value) {
    return value != "off";
}

// Digits only: a typing error must not become another number of days.
std::optional<int> wholeNumber(const std::string& value) {
    if (value.empty() || value.size() > 6) {
        return std::nullopt;
    }
    for (const unsigned char c : value) {
        if (!std::isdigit(c)) {
            return std::nullopt;
        }
    }
    return std::atoi(value.c_str());
}

// What the site defaults file may set here beyond newacct's names.
bool siteSetting(const std::string& name) {
    return name == "CH" || name == "CP" || name == "SP" || name == "noacl" || name == "encoding";
}

}  // namespace

bool SyncSettings::storeOwn(const std::string& name, const std::string& value) {
    if (name == "batch") {
        batchFile_ = value;
    } else if (name == "encoding") {
        encoding_ = value;
    } else if (name == "scope") {
        if (!value.empty()) {
            scope_.push_back(value);
        }
    } else if (name == "grace") {
        grace_ = wholeNumber(value);
        if (!grace_) {
            throw MyException(255, "-grace takes a number of days: " + value);
        }
    } else if (name == "maxleavers") {
        const std::optional<int> percent = wholeNumber(value);
        if (!percent || *percent > 100) {
            throw MyException(255, "-maxleavers takes a percentage from 0 to 100: " + value);
        }
        maxLeavers_ = *percent;
    } else if (name == "force") {
        force_ = on(value);
    } else if (name == "debug") {
        debug_ = on(value);
    } else if (name == "CH") {
        mailServers_.cyrusHost = value;
    } else if (name == "CP") {
        mailServers_.cyrusPort = static_cast<int>(std::strtol(value.c_str(), nullptr, 10));
    } else if (name == "SP") {
        mailServers_.sievePort = static_cast<int>(std::strtol(value.c_str(), nullptr, 10));
    } else if (name == "noacl") {
        mailServers_.processAcls = !on(value);
    } else if (name == "uid") {
        throw MyException(255, "syncacct takes its accounts from the -batch roster, not from -uid");
    } else {
        return false;
    }
    return true;
}

void SyncSettings::addParam(const std::string& name, const std::string& value) {
    given_.insert(overrideKey(name));
    if (!storeOwn(name, value)) {
        // newacct's names: the session and the shared values.
        creation_.addParam(name, value);
    }
}

void SyncSettings::applySiteDefaults() {
    creation_.applySiteDefaults();
    ::applySiteDefaults(creation_.account().sessionSettings().configFile, NewAcct::siteDefaults,
                        given_, [this](const Setting& setting) {
                            if (siteSetting(setting.name)) {
                                storeOwn(setting.name, setting.value);
                            }
                        });
}

void SyncSettings::check() const {
    if (batchFile_.empty()) {
        throw MyException(kSyncIncomplete, "you must define option -batch");
    }
    if (scope_.empty()) {
        throw MyException(kSyncIncomplete, "you must define option -scope");
    }
    creation_.account().sessionSettings().check();
    removal().check();
}

const std::string& SyncSettings::adminLogin() const {
    return creation_.account().sessionSettings().adminLogin;
}

RemovalSettings SyncSettings::removal() const {
    const SessionSettings& session = creation_.account().sessionSettings();
    RemovalSettings removal = mailServers_;
    removal.ldap = removal.sieve = removal.imap = true;
    removal.listed = true;
    // A leaver is found through its entry: the entry goes last, so that a
    // sync cut short by a mail server finds the leaver again next time.
    removal.directoryLast = true;
    removal.ldapHost = session.host;
    removal.ldapPort = session.port;
    removal.baseDN = session.baseDN;
    removal.adminLogin = session.adminLogin;
    removal.adminPassword = session.adminPassword;
    removal.tls = session.tls;
    removal.dryRun = dryRun();
    removal.debug = debug_;
    return removal;
}
