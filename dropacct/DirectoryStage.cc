// The directory stage of a removal: the user leaves every POSIX group, every
// shared folder's delivery list and the address-book administrators; then
// the entries below the user's entry and the entry itself are deleted.
#include <iostream>
#include <vector>

#include "common/AdminSession.h"
#include "common/Escape.h"
#include "common/LdapErrorText.h"
#include "common/MyException.h"
#include "dropacct/DropAcct.h"
#include "ldap/LDAPException.h"

void DropAcct::ldapBind() {
    const DirectoryParams params{ldapHost_,   ldapPort_,      baseDN_,
                                 adminLogin_, adminPassword_, directoryTls()};
    try {
        openAdminSession(connection_, params);
    } catch (const AdminSessionError& e) {
        throw MyException(-7, "ldap bind failed\n" + e.text());
    }
}

void DropAcct::modifyEntry(const std::string& dn, const LDAPModList& modifications) {
    if (plan_) {
        plan_->modify(dn, modifications);
    } else {
        connection_->modify(dn, &modifications);
        removed_.memberships += static_cast<int>(modifications.size());
    }
}

void DropAcct::deleteEntry(const std::string& dn) {
    if (plan_) {
        plan_->remove(dn);
    } else {
        connection_->del(dn);
        ++removed_.entries;
    }
}

std::string DropAcct::userDN() const {
    return "uid=" + escapeDnValue(uid_) + "," + baseDN_;
}

void DropAcct::removeValueEverywhere(const std::string& filter, const std::string& attribute,
                                     const std::string& value) {
    if (!connection_) {
        return;
    }
    std::unique_ptr<LDAPSearchResults> results =
        connection_->search(baseDN_, LDAPConnection::SEARCH_ONE, filter, StringList{"dn"}, true);
    LDAPModList modifications;
    modifications.addModification(
        LDAPModification(LDAPAttribute(attribute, value), LDAPModification::OP_DELETE));
    while (std::unique_ptr<LDAPEntry> entry = results->getNext()) {
        trace("    removing user from: " + entry->getDN());
        modifyEntry(entry->getDN(), modifications);
    }
}

void DropAcct::dropAcctLDAPGroups() {
    trace("DropAcct::dropAcctLDAPGroups()");
    try {
        removeValueEverywhere(
            "(&(objectClass=posixGroup)(memberUid=" + escapeFilterValue(uid_) + "))", "memberUid",
            uid_);
    } catch (const LDAPException& e) {
        throw MyException(-14, "failed to remove user from ldap groups: " + ldapErrorText(e));
    }
}

void DropAcct::dropAcctLDAPsharedFolder() {
    trace("DropAcct::dropAcctLDAPsharedFolder()");
    try {
        removeValueEverywhere(
            "(&(objectClass=TolvoIMAPFolderObject)(deliverToUID=" + escapeFilterValue(uid_) + "))",
            "deliverToUID", uid_);
    } catch (const LDAPException& e) {
        throw MyException(-15, "failed to remove user from shared folder:" + ldapErrorText(e));
    }
}

void DropAcct::delFromAddressBookAdmins() {
    trace("DropAcct::delFromAddressBookAdmins()");
    if (!connection_) {
        throw MyException(-17, "no LDAP connection");
    }
    const std::string adminsDN = "cn=AddressAdmins,o=AddressBook," + baseDN_;
    const std::string memberDN = userDN();
    try {
        std::unique_ptr<LDAPSearchResults> results = connection_->search(
            adminsDN, LDAPConnection::SEARCH_BASE, "member=" + escapeFilterValue(memberDN),
            StringList{"member"}, true);
        if (!results->getNext()) {
            trace("   user wasn't member of AddressBookAdmins");
            return;
        }
        // A base search has no second entry; reading its end spares the
        // server an abandon request.
        while (results->getNext()) {
        }
        trace("   deleting from AddressBookAdmins");
        LDAPModList modifications;
        modifications.addModification(
            LDAPModification(LDAPAttribute("member", memberDN), LDAPModification::OP_DELETE));
        modifyEntry(adminsDN, modifications);
    } catch (const LDAPException& e) {
        throw MyException(-17, "failed to modify Addressbook Admins" + ldapErrorText(e));
    }
}

void DropAcct::dropAcctLDAPEntry() {
    trace("DropAcct::dropAcctLDAPEntry()");
    const std::string dn = userDN();
    delLDAPChildren(dn);
    delFromAddressBookAdmins();
    trace("   deleting user entry");
    try {
        deleteEntry(dn);
    } catch (const LDAPException& e) {
        throw MyException(-15, "failed to delete user from ldap: " + ldapErrorText(e));
    }
    trace("done DropAcct::dropAcctLDAPEntry()");
}

void DropAcct::delLDAPChildren(const std::string& dn) {
    trace("DropAcct::delLDAPChildren(" + dn + ")");
    if (!connection_) {
        return;
    }
    try {
        // The whole level is read before anything below it is deleted; a
        // level below one user entry is small.
        std::vector<std::string> children;
        std::unique_ptr<LDAPSearchResults> results = connection_->search(
            dn, LDAPConnection::SEARCH_ONE, "objectclass=*", StringList{"dn"}, true);
        while (std::unique_ptr<LDAPEntry> entry = results->getNext()) {
            children.push_back(entry->getDN());
        }
        results.reset();
        for (const std::string& child : children) {
            delLDAPChildren(child);
            deleteEntry(child);
            trace("   deleting:" + child);
        }
    } catch (const LDAPException& e) {
        throw MyException(-16, "failed to delete user subentries from ldap: " + ldapErrorText(e));
    }
}
