// Storing modacct's settings and handing the account parameters on.
#include "modacct/ChangeSettings.h"

#include "account/LocaleText.h"
#include "account/PersonAttributes.h"
#include "common/MyException.h"
#include "common/SecretFiles.h"

std::string ChangeSettings::siteDefaults = "/etc/mailacct.conf";

namespace {

// What the site defaults file may set for modacct: the directory session.
const std::set<std::string> kSiteSettings{"bDN", "al",    "ap",    "apfile", "H",       "P",
                                          "tls", "ldaps", "imaps", "cacert", "encoding"};

bool on(const std::string& value) {
    return value != "off";
}

}  // namespace

bool ChangeSettings::storeSetting(const std::string& name, const std::string& value) {
    if (session_.set(name, value)) {
        // The directory session's.
    } else if (name == "dryrun") {
        dryRun_ = on(value);
    } else if (name == "debug") {
        debug_ = on(value);
    } else if (name == "genpw") {
        genpw_ = on(value);
    } else if (name == "scope") {
        if (!value.empty()) {
            scope_.push_back(value);
        }
    } else if (name == "batch") {
        batchFile_ = value;
    } else if (name == "encoding") {
        encoding_ = value;
    } else {
        return false;
    }
    return true;
}

void ChangeSettings::addParam(const std::string& name, const std::string& value) {
    givenNames_.insert(overrideKey(name));
    if (storeSetting(name, value)) {
        return;
    }
    const std::string text = isLocaleText(name) ? localeToUtf8(value) : value;
    // Refusals come as the parameter arrives, as for an unknown name.
    if (!single_.set(name, text)) {
        throw MyException(255, "wrong option: " + name);
    }
    given_.emplace_back(name, text);
}

void ChangeSettings::applySiteDefaults() {
    ::applySiteDefaults(session_.configFile, siteDefaults, givenNames_,
                        [this](const Setting& setting) {
                            if (kSiteSettings.count(setting.name) > 0) {
                                storeSetting(setting.name, setting.value);
                            }
                        });
}

AccountChange ChangeSettings::request() const {
    AccountChange request = single_;
    request.makePassword = genpw_;
    request.classes.scope = scope_;
    return request;
}

AccountChange ChangeSettings::rowRequest(const BatchRow& row) const {
    std::set<std::string> overridden;
    for (const auto& cell : row.cells) {
        overridden.insert(cell.first);
    }
    AccountChange request;
    for (const auto& [name, value] : given_) {
        if (overridden.count(name) == 0) {
            request.set(name, value);
        }
    }
    for (const auto& [name, value] : row.cells) {
        request.set(name, value);
        request.photoFromRoster = request.photoFromRoster || name == "jpegphoto";
    }
    request.makePassword = genpw_;
    request.classes.scope = scope_;
    return request;
}
