// The entries newacct writes: the user entry, then its personal address
// book, its write access to the global address book, its groupware contact
// and its class memberships. What was written is kept in order, for a batch
// to take back when a later write fails.
#include <errno.h>
#include <langinfo.h>

#include <cstring>
#include <optional>
#include <vector>

#include "common/AuditLog.h"
#include "common/Escape.h"
#include "common/MyException.h"
#include "common/TextEncoding.h"
#include "ldap/LDAPException.h"
#include "newacct/BatchLedger.h"
#include "newacct/DirectorySession.h"
#include "newacct/NewAcct.h"

std::string NewAcct::convertToUTF8(const std::string& value) const {
    if (cellValues_) {
        return value;
    }
    const char* codeset = nl_langinfo(CODESET);
    if (std::strcmp(codeset, "UTF-8") == 0) {
        return value;
    }
    const Conversion converted = convertToUtf8(value, codeset);
    if (converted.unknownEncoding || converted.failedAt) {
        throw MyException(255, std::strerror(converted.error));
    }
    return converted.text;
}

void NewAcct::addEntry(const LDAPEntry& entry, const std::string& failure) {
    if (plan_) {
        plan_->add(entry.getDN(), *entry.getAttributes());
        return;
    }
    const Written written{entry.getDN(), "", ""};
    try {
        if (ledger_) {
            pending_.push_back({connection()->startAdd(&entry), written, failure});
            return;
        }
        connection()->add(&entry);
    } catch (const LDAPException& e) {
        throw MyException(-14, failure + e.getResultMsg());
    }
    written_.push_back(written);
}

void NewAcct::addValue(const std::string& dn, const std::string& attribute,
                       const std::string& value, const std::string& failure) {
    LDAPModList modifications;
    modifications.addModification(
        LDAPModification(LDAPAttribute(attribute, value), LDAPModification::OP_ADD));
    if (plan_) {
        plan_->modify(dn, modifications);
        return;
    }
    const Written written{dn, attribute, value};
    try {
        if (ledger_) {
            pending_.push_back({connection()->startModify(dn, &modifications), written, failure});
            return;
        }
        connection()->modify(dn, &modifications);
    } catch (const LDAPException& e) {
        throw MyException(-14, failure + e.getResultMsg());
    }
    written_.push_back(written);
}

void NewAcct::settleWrites() {
    // Every answer is read, so that what was written is known for a take-back
    // even after a failure; the first failure in the order sent counts. An
    // answer lost with the connection may mean a change made.
    std::optional<MyException> first;
    for (const Pending& sent : pending_) {
        try {
            connection()->result(sent.messageId);
            written_.push_back(sent.written);
        } catch (const LDAPException& e) {
            if (DirectorySession::isLost(e)) {
                written_.push_back(sent.written);
            }
            if (!first) {
                first = MyException(-14, sent.failure + e.getResultMsg());
            }
        }
    }
    pending_.clear();
    if (first) {
        throw *first;
    }
}

void NewAcct::audit(int status, const std::string& message) const {
    AuditLog log("newacct");
    log.add("by", adminLogin_);
    log.add("uid", login_);
    if (uidNumber_ != 0) {
        log.add("uidnumber", std::to_string(uidNumber_));
    }
    log.add("gid", std::to_string(gidNumber_));
    log.add("home", homeDirectory_);
    log.send(status, message);
}

std::string NewAcct::userDN() const {
    return "uid=" + escapeDnValue(login_) + "," + baseDN_;
}

void NewAcct::createInDirectory() {
    try {
        checkMailUnique();
        checkAliases();
        initUidNumber();
        initUserPwd();
        initUserAci();
        addUserToLDAP();
    } catch (const MyException&) {
        // A search the directory left unanswered must not pass for a taken
        // address: before any write, silence ends the run as a failed search.
        if (!wroteSomething() && session_ && session_->silent()) {
            throw MyException(-12, "search failed: " + session_->silence());
        }
        throw;
    }
}

void NewAcct::addUserToLDAP() {
    addAttribute("shadowlastchange", std::to_string(passwordChangeDay_));
    addAttribute("shadowmax", std::to_string(shadowMax_));
    addAttribute("shadowmin", "0");
    addAttribute("shadowwarning", "7");
    addAttribute("shadowinactive", "0");
    if (plendar()) {
        addAttribute("plendarAppointmentDays", "5");
        addAttribute("plendarTaskDays", "5");
    }
    if (phpgw()) {
        addAttribute("phpgwAccountType", "u");
        addAttribute("phpgwAccountStatus", "A");
        addAttribute("phpgwAccountExpires", "-1");
    }
    for (const std::string& alias : aliases_) {
        addAttribute("alias", alias);
    }
    addAttribute("internetDisabled", gidNumber_ == 103 ? "true" : "false");
    LDAPAttribute classes("objectClass");
    for (const char* name :
         {"top", "shadowAccount", "posixAccount", "person", "inetOrgPerson", "TolvoeMailObject"}) {
        classes.addValue(name);
    }
    if (plendar())
        classes.addValue("TolvoplendarConfig");
    if (extension_)
        classes.addValue("TolvoVantorOskaObject");
    if (phpgw())
        classes.addValue("phpgwAccount");
    classes.addValue(gidNumber_ == 103 ? "TolvoSchoolWorkstation" : "TolvoSchoolAccount");
    attributes_.addAttribute(classes);

    if (!connection()) {
        throw MyException(-14, "failed to add entry");
    }
    if (ledger_) {
        // A batch knows its class groups: a missing one fails the account
        // as its membership would, before anything is written.
        for (const std::string& name : classes_) {
            if (!ledger_->groupExists(name)) {
                throw MyException(-14, "failed give user " + login_ + " to the class:" + name +
                                           " No such object");
            }
        }
    }
    claimUserEntry();
    // In a batch the entry's further writes go out together and their
    // answers are read after the last: none depends on another.
    try {
        addAddressBookBase();
        if (globalAddressBook_) {
            addGlobalAddressBookAccess();
        }
        if (phpgw()) {
            addToPHPGWAddressBook();
        }
        addToClasses();
    } catch (const MyException&) {
        settleWrites();
        throw;
    }
    settleWrites();
    if (plan_) {
        plan_->publish();
    }
}

void NewAcct::addAddressBookBase() {
    if (!connection()) {
        throw MyException(-14, "failed to add entry");
    }
    LDAPAttributeList attributes;
    attributes.addAttribute(LDAPAttribute("ou", "addr"));
    LDAPAttribute classes("objectClass", "top");
    classes.addValue("organizationalUnit");
    attributes.addAttribute(classes);
    addEntry(LDAPEntry("ou=addr," + userDN(), attributes), "failed to add entry: ");
}

void NewAcct::addGlobalAddressBookAccess() {
    if (!connection()) {
        throw MyException(-14, "no ldap connection");
    }
    addValue("cn=AddressAdmins,o=Addressbook," + baseDN_, "member", userDN(),
             "failed give user write access to the global address book: ");
}

void NewAcct::addToPHPGWAddressBook() {
    if (!connection()) {
        throw MyException(-14, "failed to add entry");
    }
    LDAPAttributeList attributes;
    const auto add = [&attributes](const std::string& name, const std::string& value) {
        attributes.addAttribute(LDAPAttribute(name, value));
    };
    // The directory refuses an empty givenName, and an attribute without
    // values is a protocol error: empty ones are left out.
    if (!givenName_.empty())
        add("givenName", givenName_);
    add("sn", surname_);
    add("cn", commonName_);
    if (!mail_.empty())
        add("mail", mail_);
    add("uid", login_ + ":system");
    add("uidnumber", std::to_string(uidNumber_));
    add("phpgwContactTypeId", "n");
    add("phpgwContactOwner", "101");
    add("phpgwContactAccess", "public");
    if (!description_.empty())
        add("description", description_);
    if (!organisationalUnit_.empty())
        add("ou", organisationalUnit_);
    add("phpgwContactCatId", gidNumber_ == 102 ? "1" : "2");
    LDAPAttribute classes("objectClass", "organizationalPerson");
    classes.addValue("inetOrgPerson");
    classes.addValue("phpgwContact");
    attributes.addAttribute(classes);
    addEntry(LDAPEntry("uid=" + escapeDnValue(login_ + ":system") + ",o=AddressBook," + baseDN_,
                       attributes),
             "failed to add entry: ");
}

void NewAcct::addToClasses() {
    if (!connection()) {
        return;
    }
    for (const std::string& name : classes_) {
        addValue("cn=" + escapeDnValue(name) + "," + baseDN_, "memberUid", login_,
                 "failed give user " + login_ + " to the class:" + name + " ");
    }
}
