// The entries newacct writes: the user entry, then its personal address
// book, its write access to the global address book, its groupware contact
// and its class memberships. What was written is kept in order, for a batch
// to take back when a later write fails.
#include <ldap.h>

#include <optional>
#include <vector>

#include "account/AccountNames.h"
#include "account/BatchLedger.h"
#include "account/ContactEntry.h"
#include "account/DerivedValues.h"
#include "account/DirectorySession.h"
#include "account/EntryChanges.h"
#include "account/LocaleText.h"
#include "common/AuditLog.h"
#include "common/MyException.h"
#include "ldap/LDAPException.h"
#include "newacct/NewAcct.h"

std::string NewAcct::convertToUTF8(const std::string& value) const {
    return cellValues_ ? value : localeToUtf8(value);
}

void NewAcct::addEntry(const LDAPEntry& entry, const std::string& failure, bool replaceable) {
    if (plan_) {
        plan_->add(entry.getDN(), *entry.getAttributes());
        return;
    }
    const Written written{entry.getDN(), "", ""};
    try {
        if (ledger_) {
            pending_.push_back({connection()->startAdd(&entry), written, failure,
                                replaceable ? std::make_shared<LDAPEntry>(entry) : nullptr});
            return;
        }
        connection()->add(&entry);
    } catch (const LDAPException& e) {
        if (replaceable && e.getResultCode() == LDAP_ALREADY_EXISTS) {
            replaceEntry(entry, failure);
            return;
        }
        throw MyException(-14, failure + e.getResultMsg());
    }
    written_.push_back(written);
}

void NewAcct::replaceEntry(const LDAPEntry& entry, const std::string& failure) {
    const std::string& dn = entry.getDN();
    try {
        const std::unique_ptr<LDAPAttributeList> stored = readEntry(*connection(), dn);
        if (!stored) {
            // Gone since: the add goes through after all.
            connection()->add(&entry);
            written_.push_back({dn, "", ""});
            return;
        }
        const LDAPAttributeList& wanted = *entry.getAttributes();
        const LDAPModList changes =
            attributeChanges(*stored, wanted, attributeNames(*stored, wanted));
        if (changes.size() > 0) {
            connection()->modify(dn, &changes);
            written_.push_back({dn, "", "", false, *stored, wanted});
        }
    } catch (const LDAPException& e) {
        throw MyException(-14, failure + e.getResultMsg());
    }
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
            if (sent.replaceable && e.getResultCode() == LDAP_ALREADY_EXISTS) {
                try {
                    replaceEntry(*sent.replaceable, sent.failure);
                } catch (const MyException& failed) {
                    first = first ? first : failed;
                }
                continue;
            }
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

void NewAcct::audit(int status, const std::string& message, const std::string& program) const {
    AuditLog log(program);
    log.add("by", directory_.adminLogin);
    log.add("uid", login_);
    if (uidNumber_ != 0) {
        log.add("uidnumber", std::to_string(uidNumber_));
    }
    log.add("gid", std::to_string(gidNumber_));
    log.add("home", homeDirectory_);
    log.send(status, message);
}

std::string NewAcct::userDN() const {
    return userDn(login_, directory_.baseDN);
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
    addAttribute("internetDisabled", internetDisabled(gidNumber_));
    attributes_.addAttribute(userObjectClasses(groupware_, extension_, gidNumber_));

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
    addValue(addressAdminsDn(directory_.baseDN), "member", userDN(),
             "failed give user write access to the global address book: ");
}

void NewAcct::addToPHPGWAddressBook() {
    if (!connection()) {
        throw MyException(-14, "failed to add entry");
    }
    const ContactValues values{login_,       givenName_,          surname_,   commonName_, mail_,
                               description_, organisationalUnit_, uidNumber_, gidNumber_};
    const LDAPEntry contact(contactDn(login_, directory_.baseDN), contactAttributes(values));
    // A login removed before keeps its card (the removal leaves it in the
    // shared address book); it belongs to the login, so the new account's
    // values replace the old ones.
    if (plan_) {
        try {
            const std::unique_ptr<LDAPAttributeList> stored =
                readEntry(*connection(), contact.getDN());
            if (!stored) {
                plan_->add(contact.getDN(), *contact.getAttributes());
                return;
            }
            const LDAPAttributeList& wanted = *contact.getAttributes();
            const LDAPModList changes =
                attributeChanges(*stored, wanted, attributeNames(*stored, wanted));
            if (changes.size() > 0) {
                plan_->modify(contact.getDN(), changes);
            }
        } catch (const LDAPException& e) {
            throw MyException(-14, "failed to add entry: " + e.getResultMsg());
        }
        return;
    }
    addEntry(contact, "failed to add entry: ", true);
}

void NewAcct::addToClasses() {
    if (!connection()) {
        return;
    }
    for (const std::string& name : classes_) {
        addValue(classGroupDn(name, directory_.baseDN), "memberUid", login_,
                 "failed give user " + login_ + " to the class:" + name + " ");
    }
}
