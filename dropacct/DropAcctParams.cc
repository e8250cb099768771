// Parameters of a removal run: defaults, storing and checking.
#include <cstdlib>
#include <iostream>

#include "common/AuditLog.h"
#include "common/LoginName.h"
#include "common/MyException.h"
#include "common/SecretFiles.h"
#include "dropacct/DropAcct.h"

namespace {
// Numbers convert like strtol: leading digits count, anything else gives 0.
int toInt(const std::string& value) {
    return static_cast<int>(std::strtol(value.c_str(), nullptr, 10));
}
}  // namespace

std::string DropAcct::siteDefaults = "/etc/mailacct.conf";

DropAcct::DropAcct() = default;

void DropAcct::addParam(const std::string& name, const std::string& value) {
    storeParam(name, value);
    given_.insert(overrideKey(name));
}

void DropAcct::applySiteDefaults() {
    ::applySiteDefaults(configFile_, siteDefaults, given_, [this](const Setting& setting) {
        storeParam(setting.name, setting.value);
    });
}

void DropAcct::storeParam(const std::string& name, const std::string& value) {
    if (tls_.set(name, value)) {
        return;
    }
    if (name == "imap") {
        imap_ = true;
    } else if (name == "ldap") {
        ldap_ = true;
    } else if (name == "sieve") {
        sieve_ = true;
    } else if (name == "noacl") {
        processAcls_ = false;
    } else if (name == "dryrun") {
        plan_ = value == "off" ? nullptr : std::make_unique<LdifWriter>(std::cout);
    } else if (name == "CH") {
        cyrusHost_ = value;
    } else if (name == "CP") {
        cyrusPort_ = toInt(value);
    } else if (name == "SP") {
        sievePort_ = toInt(value);
    } else if (name == "PH") {
        pgHost_ = value;
    } else if (name == "PP") {
        pgPort_ = toInt(value);
    } else if (name == "LH") {
        ldapHost_ = value;
    } else if (name == "LP") {
        ldapPort_ = toInt(value);
    } else if (name == "bDN") {
        baseDN_ = value;
    } else if (name == "al") {
        adminLogin_ = value;
    } else if (name == "ap") {
        adminPassword_ = value;
    } else if (name == "apfile") {
        adminPassword_ = readPasswordFile(value);
    } else if (name == "config") {
        configFile_ = value;
    } else if (name == "pglogin") {
        pgLogin_ = value;
    } else if (name == "pgpasswd") {
        pgPassword_ = value;
    } else if (name == "uid") {
        uid_ = value;
    }
    // Unknown names are ignored: front ends may send more than we use.
}

TlsSettings DropAcct::tlsFor(const std::string& host) const {
    TlsSettings settings;
    settings.caFile = tls_.caFile;
    settings.serverName = host;
    return settings;
}

void DropAcct::checkParams() {
    if (uid_.empty())
        throw MyException(-4, "you must define option -uid");
    if (!isUsableLoginName(uid_)) {
        throw MyException(-4, "invalid uid: blanks at its ends or control characters");
    }
    if (ldap_) {
        if (ldapHost_.empty())
            throw MyException(-10, "invalid LDAP-Server");
        if (ldapPort_ == 0)
            throw MyException(-11, "invalid LDAP-Port");
        if (baseDN_.empty())
            throw MyException(-5, "you must define option -bDN");
        if (adminLogin_.empty())
            throw MyException(-2, "you must define option -al");
        if (adminPassword_.empty())
            throw MyException(-3, "you must define option -ap");
    }
    if (imap_) {
        if (cyrusHost_.empty())
            throw MyException(-10, "invalid IMAP-Server");
        if (cyrusPort_ == 0)
            throw MyException(-11, "invalid IMAP-Port");
        if (adminLogin_.empty())
            throw MyException(-2, "you must define option -al");
        if (adminPassword_.empty())
            throw MyException(-3, "you must define option -ap");
    }
}

void DropAcct::dropAcct() {
    if (plan_) {
        plan_->comment("dropacct -dryrun: what removing " + uid_ +
                       " would change, in order; nothing was changed");
    }
    if (ldap_) {
        ldapBind();
        dropAcctLDAPGroups();
        dropAcctLDAPsharedFolder();
        dropAcctLDAPEntry();
        if (connection_) {
            connection_->unbind();
            connection_.reset();
        }
    }
    // The scripts live inside the user's mailbox on Cyrus: deleting the
    // mailbox first would delete them and make the Sieve login fail.
    if (sieve_) {
        dropAcctSieve();
    }
    if (imap_) {
        dropAcctFromCyrus();
    }
    if (plan_) {
        plan_->publish();
    }
}

void DropAcct::audit(int status, const std::string& message) const {
    AuditLog log("dropacct");
    log.add("by", adminLogin_);
    log.add("uid", uid_);
    std::string stages;
    for (const auto& [chosen, name] :
         {std::pair<bool, const char*>{ldap_, "ldap"}, {sieve_, "sieve"}, {imap_, "imap"}}) {
        if (chosen) {
            stages += (stages.empty() ? "" : ",") + std::string(name);
        }
    }
    log.add("stages", stages.empty() ? "none" : stages);
    log.add("entries", std::to_string(removed_.entries));
    log.add("memberships", std::to_string(removed_.memberships));
    log.add("acl", std::to_string(removed_.acls));
    log.add("mailboxes", std::to_string(removed_.mailboxes));
    log.add("scripts", std::to_string(removed_.scripts));
    log.send(status, message);
}

void DropAcct::trace(const std::string& line) const {
    if (debug) {
        std::cerr << line << std::endl;
    }
}

void usage(std::ostream& out) {
    out << "delete a user ...\n"
           "\n"
           "    dropacct -al <login> -ap <password> -uid <uid>\n"
           "           [-imap &| -ldap -bDN <base_DN> &| -sieve &| \n"
           "           [-CH <Cyrus-Host>] [-CP Cyrus-Port] [-SP Sieve-Port]\n"
           "           [-LH <LDAP-Host>] [-LP LDAP-Port]\n"
           "\n"
           "    dropacct -help\n"
           "\n"
           "  option    description                        default\n"
           "\n"
           " -imap    delete user from cyrus\n"
           " -ldap    delete user from ldap\n"
           " -sieve   delete sieve scripts for this user\n"
           " -CH      Cyrus-Host                          localhost\n"
           " -CP      Cyrus-Port                             143\n"
           " -SP      SIEVE-Port                            2000\n"
           " -PH      PostgreSQL-Host                     localhost\n"
           " -PP      PostgreSQL-Port                        5432\n"
           " -LH      LDAP-Host                           localhost\n"
           " -LP      LDAP-Port                              389\n"
           " -bDN     base DN\n"
           " -al      admin_log\n"
           " -ap      admin-Password\n"
           " -pglogin  PostgreSQL login\n"
           " -pgpasswd PostgreSQL passwd\n"
           " -uid     uid to delete\n"
           " -dryrun  print what would be removed (LDIF), change nothing\n"
           " -apfile  file whose first line is the admin-Password\n"
           " -config  file of site defaults                /etc/mailacct.conf\n"
           " -tls     StartTLS on every connection (LDAP, IMAP, Sieve)\n"
           " -ldaps   TLS from the first byte for LDAP (port usually 636)\n"
           " -imaps   TLS from the first byte for IMAP (port usually 993)\n"
           "          (with any of these three, every connection uses TLS:\n"
           "           StartTLS where TLS does not start with the first byte)\n"
           " -cacert  file of the certificate authorities to trust\n"
           "          (default: libldap's TLS_CACERT; the system's for IMAP and Sieve)\n"
           " -noacl   do not process IMAP ACLs\n"
           " -help    this message\n";
    out.flush();
}
