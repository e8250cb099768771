// Parameters of a change request, and its checks before the directory.
#include "modacct/AccountChange.h"

#include <fnmatch.h>
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "account/AccountChecks.h"
#include "account/Passwords.h"
#include "account/PersonAttributes.h"
#include "common/LoginName.h"
#include "common/MyException.h"

namespace {

// What modacct leaves alone, and what to do instead.
const std::pair<const char*, const char*> kNotChanged[] = {
    {"uidnumber",
     "the files and mailboxes of an account belong to its number; remove the account and create "
     "it again (dropacct, newacct -uidnumber) to give it another"},
    {"gidnumber",
     "the group decides the kind of account (pupil, staff, workstation); create the account again "
     "with newacct -gidnumber"},
    {"groupware",
     "the groupware accounts are set up when an account is created; create the account again "
     "with newacct -groupware"},
    {"writeglobaladdress",
     "add or delete the user's DN as a member of cn=AddressAdmins,o=Addressbook,<base> with "
     "ldapmodify"},
};

// Attributes set by parameters that are no person attributes.
const std::pair<const char*, const char*> kOtherAttributes[] = {
    {"o", "o"},
    {"c", "c"},
    {"telephonenumber", "telephonenumber"},
    {"pager", "pager"},
    {"homephone", "homephone"},
    {"mobile", "mobile"},
    {"facsimiletelephonenumber", "facsimiletelephonenumber"},
    {"homedirectory", "homedirectory"},
    {"loginshell", "loginshell"},
    {"mailenabled", "mailenabled"},
};

std::string lower(std::string text);

// A flag's value: a roster cell may say "no" (or "off", "0", "false"), which
// must not lock an account.
bool flagOn(const std::string& value) {
    const std::string word = lower(value);
    return word != "off" && word != "no" && word != "0" && word != "false";
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::vector<std::string> valuesOf(const LDAPAttributeList& attributes, const std::string& name) {
    const LDAPAttribute* attribute = attributes.getAttributeByName(name);
    return attribute ? attribute->getValues() : std::vector<std::string>();
}

}  // namespace

bool classInScope(const std::vector<std::string>& scope, const std::string& name) {
    return std::any_of(scope.begin(), scope.end(), [&name](const std::string& pattern) {
        // A plain name matches itself; fnmatch, which works on wide
        // characters in a UTF-8 locale, is asked only for a pattern.
        if (pattern.find_first_of("*?[\\") == std::string::npos) {
            return strcasecmp(pattern.c_str(), name.c_str()) == 0;
        }
        return fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) == 0;
    });
}

bool setOnlyAtCreation(const std::string& name) {
    return std::any_of(std::begin(kNotChanged), std::end(kNotChanged),
                       [&name](const auto& refused) { return name == refused.first; });
}

bool ClassChange::inScope(const std::string& name) const {
    return scope.empty() || classInScope(scope, name);
}

void ClassChange::checkScope() const {
    std::vector<std::string> named = exactly.value_or(std::vector<std::string>());
    named.insert(named.end(), add.begin(), add.end());
    named.insert(named.end(), remove.begin(), remove.end());
    for (const std::string& name : named) {
        if (!inScope(name)) {
            std::string patterns;
            for (const std::string& pattern : scope) {
                patterns += (patterns.empty() ? "" : " ") + pattern;
            }
            throw MyException(-18, "class " + name + " matches no -scope (" + patterns +
                                       "); nothing was written");
        }
    }
}

void AccountChange::setAttribute(const std::string& parameter, const std::string& attribute,
                                 const std::string& value) {
    attributes.addAttribute(LDAPAttribute(attribute, value));
    noteParameter(parameter, attribute);
}

void AccountChange::noteParameter(const std::string& parameter, const std::string& attribute) {
    const bool known = std::any_of(attributeParameters.begin(), attributeParameters.end(),
                                   [&parameter](const auto& p) { return p.first == parameter; });
    if (!known) {
        attributeParameters.emplace_back(parameter, attribute);
    }
}

bool AccountChange::set(const std::string& name, const std::string& value) {
    for (const auto& [refused, instead] : kNotChanged) {
        if (name == refused) {
            throw MyException(255, "modacct does not change -" + name + ": " + instead);
        }
    }
    // An empty value changes nothing (a flag's value may be empty).
    if (value.empty() && name != "genpw" && name != "reqpwdchange" && name != "lock" &&
        name != "unlock") {
        AccountChange probe;
        return probe.set(name, "x");
    }
    if (const PersonAttribute* person = findPersonAttribute(name)) {
        setAttribute(name, person->attribute,
                     person->form == ValueForm::OnOff ? onOffValue(value) : value);
        extension = extension || person->extension;
        return true;
    }
    for (const auto& [parameter, attribute] : kOtherAttributes) {
        if (name == parameter) {
            setAttribute(name, attribute, value);
            return true;
        }
    }
    if (name == "uid") {
        if (!login.empty() && lowerCaseLogin(login) != lowerCaseLogin(value)) {
            throw MyException(255, "modacct does not rename accounts: -uid " + value +
                                       " after -uid " + login + " (give one -uid)");
        }
        login = value;
    } else if (name == "shadowmax") {
        setAttribute(name, "shadowmax", std::to_string(std::strtol(value.c_str(), nullptr, 10)));
    } else if (name == "jpegphoto") {
        photoFile = value;
    } else if (name == "mail") {
        mail = value;
    } else if (name == "alias") {
        aliases = aliases.value_or(std::vector<std::string>());
        aliases->push_back(value);
    } else if (name == "addalias") {
        addAliases.push_back(value);
    } else if (name == "delalias") {
        removeAliases.push_back(value);
    } else if (name == "class") {
        classes.exactly = classes.exactly.value_or(std::vector<std::string>());
        classes.exactly->push_back(value);
    } else if (name == "addclass") {
        classes.add.push_back(value);
    } else if (name == "delclass") {
        classes.remove.push_back(value);
    } else if (name == "up") {
        password = value;
        passwordPrepared_ = false;
    } else if (name == "genpw") {
        makePassword = flagOn(value);
    } else if (name == "reqpwdchange") {
        requirePasswordChange = flagOn(value);
    } else if (name == "lock" || name == "unlock") {
        // Each flag says only its own: a roster's "no" under unlock must not
        // take back the lock that another column or an option asked for.
        (name == "lock" ? lockGiven_ : unlockGiven_) = flagOn(value);
        lock = lockGiven_ ? LockChange::Lock : unlockGiven_ ? LockChange::Unlock : LockChange::None;
    } else {
        return false;
    }
    return true;
}

bool AccountChange::isParameter(const std::string& name) {
    // The run's own settings are the same for every account.
    if (name == "genpw") {
        return false;
    }
    AccountChange probe;
    try {
        return probe.set(name, "x");
    } catch (const MyException&) {
        return false;
    }
}

void AccountChange::check() {
    if (login.empty()) {
        throw MyException(-5, "you must define option -uid");
    }
    if (!isUsableLoginName(login)) {
        throw MyException(-5, "invalid uid: blanks at its ends or control characters");
    }
    login = lowerCaseLogin(login);
    if (lockGiven_ && unlockGiven_) {
        throw MyException(255, "-lock and -unlock exclude each other");
    }
    classes.checkScope();
    if (mail) {
        checkMailAddress(*mail);
    }
    for (const PhoneParameter& phone : kPhoneParameters) {
        for (const std::string& value : valuesOf(attributes, phone.parameter)) {
            checkPhoneValue(phone, value);
        }
    }
    for (const std::string& alias : aliases.value_or(std::vector<std::string>())) {
        checkAliasForm(alias);
    }
    for (const std::string& alias : addAliases) {
        checkAliasForm(alias);
    }
    if (!photoFile.empty()) {
        attributes.replaceAttribute(
            LDAPAttribute("jpegphoto", readPhotoFile(photoFile, photoFromRoster)));
        noteParameter("jpegphoto", "jpegphoto");
    }
    for (const std::string& home : valuesOf(attributes, "homedirectory")) {
        checkHomeDirectory(home);
    }
    for (const std::string& shell : valuesOf(attributes, "loginshell")) {
        checkLoginShell(shell);
    }
}

void AccountChange::preparePassword() {
    if (passwordPrepared_) {
        return;
    }
    if (password.empty() && makePassword) {
        madePassword = ::makePassword();
        password = madePassword;
    }
    if (!password.empty()) {
        password = storedPassword(password);
    }
    passwordPrepared_ = true;
}
