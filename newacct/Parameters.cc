// Storing newacct's parameters: which member or attribute each name fills.
#include <cstdlib>
#include <iostream>

#include "account/DirectorySession.h"
#include "account/PersonAttributes.h"
#include "common/MyException.h"
#include "common/SecretFiles.h"
#include "newacct/NewAcct.h"

std::string NewAcct::userAddDefaults = "/etc/default/useradd";
std::string NewAcct::siteDefaults = "/etc/mailacct.conf";

namespace {
long toLong(const std::string& value) {
    return std::strtol(value.c_str(), nullptr, 10);
}
}  // namespace

NewAcct::NewAcct() = default;
NewAcct::~NewAcct() = default;
NewAcct::NewAcct(NewAcct&&) noexcept = default;
NewAcct& NewAcct::operator=(NewAcct&&) noexcept = default;

void NewAcct::addAttribute(const std::string& name, const std::string& value) {
    attributes_.addAttribute(LDAPAttribute(name, value));
}

void NewAcct::addParam(const std::string& name, const std::string& value) {
    if (!storeParam(name, value)) {
        throw MyException(255, "wrong option: " + name);
    }
    given_.insert(overrideKey(name));
}

void NewAcct::addCell(const std::string& name, const std::string& value) {
    cellValues_ = true;
    try {
        addParam(name, value);
    } catch (...) {
        cellValues_ = false;
        throw;
    }
    cellValues_ = false;
}

bool NewAcct::isAccountParam(const std::string& name) {
    // The session's and the run's settings are the same for every account.
    static const std::set<std::string> shared{"bDN",    "al",     "ap",    "apfile", "H",
                                              "P",      "tls",    "ldaps", "imaps",  "cacert",
                                              "config", "dryrun", "genpw"};
    if (shared.count(name) > 0) {
        return false;
    }
    NewAcct probe;
    return probe.storeParam(name, "x");
}

void NewAcct::applySiteDefaults() {
    // Names of dropacct's are passed over.
    ::applySiteDefaults(
        directory_.configFile, siteDefaults, given_,
        [this](const Setting& setting) { storeParam(setting.name, setting.value); });
}

bool NewAcct::storeParam(const std::string& name, const std::string& value) {
    const std::string text = isLocaleText(name) ? convertToUTF8(value) : value;
    if (const PersonAttribute* person = findPersonAttribute(name)) {
        const std::string stored = person->form == ValueForm::OnOff ? onOffValue(value) : text;
        // Kept for the common name and the contact card as well.
        if (name == "sn") {
            surname_ = stored;
        } else if (name == "givenname") {
            givenName_ = stored;
        } else if (name == "ou") {
            organisationalUnit_ = stored;
        } else if (name == "description") {
            description_ = stored;
        }
        extension_ = extension_ || person->extension;
        addAttribute(person->attribute, stored);
        return true;
    }
    if (directory_.set(name, value)) {
        // The directory session's.
    } else if (name == "dryrun") {
        plan_ = value == "off" ? nullptr : std::make_unique<LdifWriter>(*planText_);
    } else if (name == "genpw") {
        genpw_ = value != "off";
    } else if (name == "up") {
        userPassword_ = value;
        passwordHashed_ = false;
    } else if (name == "homedirectory") {
        homeDirectory_ = value;
    } else if (name == "loginshell") {
        loginShell_ = value;
    } else if (name == "gidnumber") {
        gidNumber_ = static_cast<unsigned>(toLong(value));
        if (gidNumber_ == 0)
            gidNumber_ = 100;
    } else if (name == "uidnumber") {
        uidNumber_ = static_cast<unsigned>(toLong(value));
    } else if (name == "writeglobaladdress") {
        globalAddressBook_ = value == "allowed";
    } else if (name == "uid") {
        login_ = value;
    } else if (name == "mail") {
        mail_ = value;
    } else if (name == "alias") {
        aliases_.push_back(value);
    } else if (name == "o") {
        organisation_ = text;
    } else if (name == "c") {
        country_ = value;
    } else if (name == "homephone") {
        homePhone_ = text;
    } else if (name == "mobile") {
        mobile_ = text;
    } else if (name == "facsimiletelephonenumber") {
        fax_ = text;
    } else if (name == "pager") {
        pager_ = text;
    } else if (name == "telephonenumber") {
        telephone_ = text;
    } else if (name == "jpegphoto") {
        photoFile_ = value;
        photoFromRoster_ = cellValues_;
    } else if (name == "shadowmax") {
        shadowMax_ = static_cast<int>(toLong(value));
    } else if (name == "reqpwdchange") {
        passwordChangeDay_ = 0;
    } else if (name == "mailenabled") {
        mailEnabled_ = value;
    } else if (name == "groupware") {
        groupware_ = value;
    } else if (name == "class") {
        classes_.push_back(value);
    } else {
        return false;
    }
    return true;
}

void newacctUsage(std::ostream& out) {
    out << "Add a user to LDAP...\n"
           "\n"
           "  usage: newacct <options>\n"
           "\n"
           " option\t\t    description                           default\n"
           "\n"
           " the following options are required:\n"
           "    -bDN               LDAP-base_DN\n"
           "    -al                LDAP-Admin-Login(uid)\n"
           "    -ap                LDAP-Password\n"
           "\n"
           "    -uid               uid(login)\n"
           "    -sn                sn\n"
           "    -up                userPassword\n"
           "    -mail              mailaddress\n"
           "    -o                 Company\n"
           "    -c                 Country(2-letter)\n"
           "\n"
           "additionally You may specify the following options\n"
           "    -homedirectory     homedirectory                    /<defaulthome>/<uid>\n"
           "    -loginshell        Login-Shell                            <defaultshell>\n"
           "    -H                 LDAP-Host                                   localhost\n"
           "    -P                 LDAP-Port                                         389\n"
           "    -gidnumber         Group ID                                          100\n"
           "    -uidnumber         User ID                                    calculated\n"
           "    -givenname         givenname\n"
           "    -l                 location\n"
           "    -preferredlanguage language (e.g. EN or DE)                           EN\n"
           "    -alias             alias  (for more than one alias specify this\n"
           "\t\t\t    option multiple times:\n"
           "\t\t\t    (-alias alias1 -alias alias2 ... -a aliasn)\n"
           "    -writeglobaladdress    write access to Global Addressbook         denied\n"
           "    -logindestination      \"groupware\" or \"config\"\n"
           "    -ou\n"
           "    -title\n"
           "    -initials\n"
           "    -homephone\n"
           "    -mobile\n"
           "    -facsimiletelephonenumber\n"
           "    -pager\n"
           "    -telephonenumber\n"
           "    -labeleduri\n"
           "    -street\n"
           "    -postalcode\n"
           "    -st\n"
           "    -timezone\n"
           "    -faxdid\n"
           "    -smsdid\n"
           "    -printid\n"
           "    -reqpwdchange      Force the user to change password on first\n"
           "                         login\n"
           "    -birthday          Format: YYYY-MM-DD\n"
           "    -shadowmax         Days, after which password must be changed\n"
           "    -dointernetconn    boolean\n"
           "    -dyceenabled       boolean\n"
           "    -colocrouteaddr    email address to route users mail to\n"
           "    -religion          religion\n"
           "    -mailenabled       shows if sendig external mail is enabled\n"
           "                       possible values: ok\n"
           "                                        local_only\n"
           "    -groupware         which type of groupware will be used\n"
           "                       possible values: plendar\n"
           "                                        phpgw\n"
           "                                        all\n"
           "    -class             the class to the user belongs (for more than one\n"
           "                       classes specify this option multiple times:\n"
           "                       -class class1 -class class2 ... -class classn\n"
           "    -dryrun            print the entries as LDIF, write nothing\n"
           "    -batch             CSV file of accounts, one per row (header: parameter\n"
           "                         names); prints uid, status and uid number per row\n"
           "    -encoding          the batch file's encoding when not UTF-8     CP1252\n"
           "    -genpw             make up a password for an account without -up\n"
           "    -apfile            file whose first line is the LDAP-Password\n"
           "    -config            file of site defaults                /etc/mailacct.conf\n"
           "    -tls               StartTLS on the LDAP connection\n"
           "    -ldaps             TLS from the first byte (ldaps, port usually 636)\n"
           "    -cacert            file of the certificate authorities to trust\n"
           "                         (default: libldap's TLS_CACERT)\n"
           "    -imaps             accepted for settings shared with dropacct\n"
           "                       (any TLS option means StartTLS unless -ldaps)\n"
           "    -help              Display this help\n"
           "    -V                 print Version information\n"
           "\n";
    out.flush();
}
