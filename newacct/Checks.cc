// Validation of newacct's parameters before anything touches the directory,
// and the values settled on the way: home directory, login shell, common
// name, photo.
#include <fstream>

#include "account/AccountChecks.h"
#include "account/DerivedValues.h"
#include "common/LoginName.h"
#include "common/MyException.h"
#include "newacct/NewAcct.h"

namespace {

// The last value of `key` in the account defaults file, or false when the
// file cannot be opened. `value` stays untouched when the key is absent.
bool readDefault(const std::string& file, const std::string& key, std::string& value, bool& found) {
    std::ifstream in(file);
    if (!in) {
        return false;
    }
    found = false;
    for (std::string line; std::getline(in, line);) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos && line.compare(0, equals, key) == 0 &&
            equals == key.size()) {
            value = line.substr(equals + 1);
            found = true;
        }
    }
    return true;
}

}  // namespace

bool NewAcct::checkPhoneString(const std::string& value) const {
    return ::checkPhoneString(value);
}

void NewAcct::checkParams() {
    directory_.check();
    if (login_.empty())
        throw MyException(-5, "you must define option -uid");
    if (!isUsableLoginName(login_)) {
        throw MyException(-5, "invalid uid: blanks at its ends or control characters");
    }
    login_ = lowerCaseLogin(login_);
    addAttribute("uid", login_);
    if (surname_.empty())
        throw MyException(-6, "you must define option -sn");
    if (userPassword_.empty() && !genpw_)
        throw MyException(-7, "you must define option -up");
    if (!mail_.empty()) {
        checkMailAddress(mail_);
        addAttribute("mail", mail_);
    }
    if (organisation_.empty())
        throw MyException(-9, "you must define option -o");
    addAttribute("o", organisation_);
    if (country_.empty())
        throw MyException(-9, "you must define option -c");
    addAttribute("c", country_);

    // In the order of kPhoneParameters.
    const std::string* const phones[] = {&telephone_, &pager_, &homePhone_, &mobile_, &fax_};
    for (const PhoneParameter& phone : kPhoneParameters) {
        const std::string& value = *phones[&phone - kPhoneParameters];
        if (value.empty())
            continue;
        checkPhoneValue(phone, value);
        addAttribute(phone.parameter, value);
    }

    for (const std::string& alias : aliases_) {
        checkAliasForm(alias);
    }
    if (!photoFile_.empty()) {
        addAttribute("jpegphoto", readPhotoFile(photoFile_, photoFromRoster_));
    }
    addAttribute("gidnumber", std::to_string(gidNumber_));
    if (groupware_.empty()) {
        groupware_ = "all";
    }
    if (plendar()) {
        // Checked before anything is written: a class without a system
        // group would otherwise fail half-way through the account.
        attributes_.addAttribute(plendarGroupIds(gidNumber_, classes()));
    }
    addAttribute("mailenabled", mailEnabled_);
    checkHomeDir();
    checkLoginShell();
    createCN();
}

void NewAcct::checkHomeDir() {
    if (homeDirectory_ != "null") {
        ::checkHomeDirectory(homeDirectory_);
    } else {
        std::string home;
        bool found = false;
        if (!readDefault(userAddDefaults, "HOME", home, found)) {
            throw MyException(
                -10, "you must define option -homedirectory and the values must be a directory");
        }
        // Debian ships the file with HOME commented out; useradd then uses /home.
        homeDirectory_ = (found ? home : "/home") + "/" + login_;
    }
    addAttribute("homedirectory", homeDirectory_);
}

void NewAcct::checkLoginShell() {
    if (loginShell_ != "null") {
        ::checkLoginShell(loginShell_);
    } else {
        std::string shell;
        bool found = false;
        if (!readDefault(userAddDefaults, "SHELL", shell, found)) {
            throw MyException(
                -10, "you must define option -loginshell andthe values must be a directory");
        }
        loginShell_ = found ? shell : "/bin/sh";
    }
    addAttribute("loginshell", loginShell_);
}

void NewAcct::createCN() {
    commonName_ = commonName(surname_, givenName_, country_);
    addAttribute("cn", commonName_);
}
