// Validation of newacct's parameters before anything touches the directory,
// and the values settled on the way: home directory, login shell, common
// name, photo.
#include <grp.h>

#include <cctype>
#include <fstream>

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
    return value.empty() || value.find_first_not_of("- ") != std::string::npos;
}

void NewAcct::checkParams() {
    if (adminLogin_.empty())
        throw MyException(-2, "you must define option -al");
    if (baseDN_.empty())
        throw MyException(-3, "you must define option -bDN");
    if (adminPassword_.empty())
        throw MyException(-4, "you must define option -ap");
    if (login_.empty())
        throw MyException(-5, "you must define option -uid");
    if (!isUsableLoginName(login_)) {
        throw MyException(-5, "invalid uid: blanks at its ends or control characters");
    }
    for (char& c : login_) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    addAttribute("uid", login_);
    if (surname_.empty())
        throw MyException(-6, "you must define option -sn");
    if (userPassword_.empty() && !genpw_)
        throw MyException(-7, "you must define option -up");
    if (!mail_.empty()) {
        if (mail_.find('@') == std::string::npos) {
            throw MyException(-16, "incorrect email address: " + mail_);
        }
        addAttribute("mail", mail_);
    }
    if (organisation_.empty())
        throw MyException(-9, "you must define option -o");
    addAttribute("o", organisation_);
    if (country_.empty())
        throw MyException(-9, "you must define option -c");
    addAttribute("c", country_);

    const struct {
        const std::string& value;
        const char* message;
        const char* attribute;
    } phones[] = {
        {telephone_, "invalid telephonenumber: ", "telephonenumber"},
        {pager_, "invalid pager: ", "pager"},
        {homePhone_, "invalid homephone: ", "homephone"},
        {mobile_, "invalid mobile: ", "mobile"},
        {fax_, "invalid facsimiletelephonenumber: ", "facsimiletelephonenumber"},
    };
    for (const auto& phone : phones) {
        if (phone.value.empty())
            continue;
        if (!checkPhoneString(phone.value)) {
            throw MyException(-16, phone.message + phone.value);
        }
        addAttribute(phone.attribute, phone.value);
    }

    for (const std::string& alias : aliases_) {
        if (alias.find('@') != std::string::npos) {
            throw MyException(-16, "incorrect alias " + alias + ". Aborted");
        }
    }
    if (!photoFile_.empty()) {
        readPhoto();
    }
    addAttribute("gidnumber", std::to_string(gidNumber_));
    if (groupware_.empty()) {
        groupware_ = "all";
    }
    if (plendar()) {
        LDAPAttribute groupIds("plendarGroupID", std::to_string(gidNumber_));
        for (const std::string& name : classes_) {
            const group* systemGroup = getgrnam(name.c_str());
            // Checked before anything is written: a class without a system
            // group would otherwise fail half-way through the account.
            if (!systemGroup) {
                throw MyException(-18, "class " + name + " is not a group of this system");
            }
            groupIds.addValue(std::to_string(systemGroup->gr_gid));
        }
        attributes_.addAttribute(groupIds);
    }
    addAttribute("mailenabled", mailEnabled_);
    checkHomeDir();
    checkLoginShell();
    createCN();
}

void NewAcct::readPhoto() {
    std::ifstream in(photoFile_, std::ios::binary);
    if (!in) {
        throw MyException(-42, "Error opening jpeg-File");
    }
    constexpr size_t kLimit = 32768;
    std::string photo;
    char buffer[4096];
    while (in) {
        in.read(buffer, sizeof buffer);
        photo.append(buffer, static_cast<size_t>(in.gcount()));
        if (photo.size() > kLimit) {
            throw MyException(-42, "jpeg-File is bigger than 32k");
        }
    }
    addAttribute("jpegphoto", photo);
}

void NewAcct::checkHomeDir() {
    if (homeDirectory_ != "null") {
        if (homeDirectory_.empty() || homeDirectory_[0] != '/') {
            throw MyException(
                -10, "you must define option -homedirectory and the value must be a directory");
        }
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
        if (loginShell_.empty() || loginShell_[0] != '/') {
            throw MyException(
                -10, "you must define option -loginshell and the value must be an absolute path");
        }
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
    if (givenName_.empty()) {
        commonName_ = surname_;
    } else if (country_ == "HU") {
        commonName_ = surname_ + " " + givenName_;
    } else {
        commonName_ = givenName_ + " " + surname_;
    }
    addAttribute("cn", commonName_);
}
