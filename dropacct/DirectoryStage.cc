// The directory stage of a removal.
#include "dropacct/DirectoryStage.h"

#include <map>

#include "common/AdminSession.h"
#include "common/DistinguishedName.h"
#include "common/Escape.h"
#include "common/LdapErrorText.h"
#include "common/LdifWriter.h"
#include "common/LoginName.h"
#include "common/MyException.h"
#include "dropacct/AccountRemoval.h"
#include "dropacct/RemovalPolicy.h"
#include "dropacct/RemovalSettings.h"
#include "ldap/LDAPException.h"

namespace {

constexpr int kUnreachable = -7;  // the status of a failed bind

// "(attribute=value)" for one value, else "(|(attribute=a)(attribute=b)...)".
std::string anyOf(const std::string& attribute, const std::vector<std::string>& values) {
    std::string filter;
    for (const std::string& value : values) {
        filter += "(" + attribute + "=" + escapeFilterValue(value) + ")";
    }
    return values.size() == 1 ? filter : "(|" + filter + ")";
}

}  // namespace

void DirectoryStage::run(const std::vector<AccountRemoval*>& accounts) {
    bind();
    const auto groups = [this, &accounts] {
        removeReferences(stillGoing(accounts), "posixGroup", "memberUid", -14,
                         "failed to remove user from ldap groups: ");
    };
    const auto folders = [this, &accounts] {
        removeReferences(stillGoing(accounts), "TolvoIMAPFolderObject", "deliverToUID", -15,
                         "failed to remove user from shared folder:");
    };
    // A sync finds its leavers through their classes: its removal deletes
    // the entry first and the memberships last, so that a removal cut short
    // anywhere leaves a member of the classes, found again by the next sync.
    if (!settings_.directoryLast) {
        groups();
        folders();
    }
    for (AccountRemoval* account : stillGoing(accounts)) {
        settings_.trace("DropAcct::dropAcctLDAPEntry()");
        deleteSubtree(*account);
    }
    removeAdministrators(stillGoing(accounts));
    for (AccountRemoval* account : stillGoing(accounts)) {
        deleteUserEntry(*account);
    }
    if (settings_.directoryLast) {
        folders();
        groups();
    }
    if (!stillGoing(accounts).empty()) {
        connection_->unbind();
        connection_.reset();
    }
}

void DirectoryStage::bind() {
    const DirectoryParams params{settings_.ldapHost,
                                 settings_.ldapPort,
                                 settings_.baseDN,
                                 settings_.adminLogin,
                                 settings_.adminPassword,
                                 settings_.tls.directory(),
                                 settings_.replyWaits.firstLineMs};
    try {
        openAdminSession(connection_, params);
    } catch (const AdminSessionError& e) {
        throw MyException(kUnreachable, "ldap bind failed\n" + e.text());
    }
}

void DirectoryStage::failed(const LDAPException& error, int code, const std::string& failure,
                            const std::vector<AccountRemoval*>& concerned) const {
    // A directory that stopped answering ends the stage as one that cannot
    // be reached does, whichever step was waiting.
    const MyException end(error.timedOut() ? kUnreachable : code, failure + ldapErrorText(error));
    // Negative result codes are the client library's own: the server is gone.
    if (error.getResultCode() < 0) {
        throw end;
    }
    for (AccountRemoval* account : concerned) {
        account->fail(end);
    }
}

void DirectoryStage::modifyEntry(const std::string& dn, const LDAPModList& modifications) {
    if (plan_) {
        plan_->modify(dn, modifications);
    } else {
        connection_->modify(dn, &modifications);
    }
}

void DirectoryStage::deleteEntry(const std::string& dn) {
    if (plan_) {
        plan_->remove(dn);
    } else {
        connection_->del(dn);
    }
}

std::string DirectoryStage::userDN(const std::string& uid) const {
    return "uid=" + escapeDnValue(uid) + "," + settings_.baseDN;
}

void DirectoryStage::removeReferences(const std::vector<AccountRemoval*>& accounts,
                                      const std::string& objectClass, const std::string& attribute,
                                      int code, const std::string& failure) {
    // The trace names only steps that run.
    if (accounts.empty()) {
        return;
    }
    settings_.trace(attribute == "memberUid" ? "DropAcct::dropAcctLDAPGroups()"
                                             : "DropAcct::dropAcctLDAPsharedFolder()");
    std::vector<std::string> uids;
    for (const AccountRemoval* account : accounts) {
        uids.push_back(account->uid());
    }
    // memberUid matches exactly, but another tool may have written the
    // login in other case: that value names the same account, so groups are
    // found ignoring case and each value goes as it is spelled. Values are
    // compared here as the filter compared them (blanks included): a group
    // found must not keep a value that names the account. A shared
    // folder's deliverToUID is ours alone.
    const bool anyCase = attribute == "memberUid";
    const auto key = [anyCase](const std::string& value) {
        return anyCase ? loginNamedBy(value) : value;
    };
    std::vector<std::string> keys;
    for (const std::string& uid : uids) {
        keys.push_back(key(uid));
    }
    // One account needs no values when every entry found holds its uid.
    const bool one = accounts.size() == 1;
    const bool valuesNeeded = anyCase || !one;
    try {
        std::unique_ptr<LDAPSearchResults> results = connection_->search(
            settings_.baseDN, LDAPConnection::SEARCH_ONE,
            "(&(objectClass=" + objectClass + ")" +
                anyOf(anyCase ? attribute + ":caseIgnoreIA5Match:" : attribute, uids) + ")",
            StringList{valuesNeeded ? attribute : "dn"}, !valuesNeeded);
        while (std::unique_ptr<LDAPEntry> entry = results->getNext()) {
            std::vector<AccountRemoval*> members;
            LDAPAttribute values(attribute);
            if (!valuesNeeded) {
                members.push_back(accounts.front());
                values.addValue(uids.front());
            }
            const LDAPAttribute* held = entry->getAttributes()->getAttributeByName(attribute);
            const std::vector<std::string> heldValues =
                held ? held->getValues() : std::vector<std::string>();
            std::vector<std::string> heldKeys;
            for (const std::string& value : heldValues) {
                heldKeys.push_back(key(value));
            }
            for (size_t a = 0; valuesNeeded && a < accounts.size(); ++a) {
                bool member = false;
                for (size_t v = 0; v < heldValues.size(); ++v) {
                    if (heldKeys[v] == keys[a]) {
                        member = true;
                        values.addValue(heldValues[v]);
                    }
                }
                if (member) {
                    members.push_back(accounts[a]);
                }
            }
            if (members.empty()) {
                continue;
            }
            settings_.trace("    removing user from: " + entry->getDN());
            LDAPModList modifications;
            modifications.addModification(LDAPModification(values, LDAPModification::OP_DELETE));
            try {
                modifyEntry(entry->getDN(), modifications);
                for (AccountRemoval* member : members) {
                    ++member->removed.memberships;
                }
            } catch (const LDAPException& e) {
                failed(e, code, failure, members);
            }
        }
    } catch (const LDAPException& e) {
        failed(e, code, failure, accounts);
    }
}

void DirectoryStage::removeAdministrators(const std::vector<AccountRemoval*>& accounts) {
    if (accounts.empty()) {
        return;
    }
    settings_.trace("DropAcct::delFromAddressBookAdmins()");
    const std::string adminsDN = "cn=AddressAdmins,o=AddressBook," + settings_.baseDN;
    std::vector<std::string> dns;
    for (const AccountRemoval* account : accounts) {
        dns.push_back(userDN(account->uid()));
    }
    const bool one = accounts.size() == 1;
    try {
        std::unique_ptr<LDAPSearchResults> results = connection_->search(
            adminsDN, LDAPConnection::SEARCH_BASE, anyOf("member", dns), StringList{"member"}, one);
        const std::unique_ptr<LDAPEntry> entry = results->getNext();
        if (!entry) {
            settings_.trace("   user wasn't member of AddressBookAdmins");
            return;
        }
        // A base search has no second entry; reading its end spares the
        // server an abandon request.
        while (results->getNext()) {
        }
        // Each value as the directory holds it, by its name as the directory
        // compares it: written with other case, spacing or escaping than
        // ours (a -bDN "o=Site" or "o = site"), it still names the user.
        std::map<std::string, std::string> heldByName;
        const LDAPAttribute* held = entry->getAttributes()->getAttributeByName("member");
        for (size_t i = 0; !one && held && i < held->getNumValues(); ++i) {
            const std::string& value = held->getValues()[i];
            heldByName.emplace(normalizedDN(value).value_or(value), value);
        }
        std::vector<AccountRemoval*> members;
        LDAPAttribute values("member");
        for (size_t a = 0; a < accounts.size(); ++a) {
            const auto member = heldByName.find(normalizedDN(dns[a]).value_or(dns[a]));
            if (one || member != heldByName.end()) {
                members.push_back(accounts[a]);
                values.addValue(one ? dns[a] : member->second);
            }
        }
        if (members.empty()) {
            settings_.trace("   user wasn't member of AddressBookAdmins");
            return;
        }
        settings_.trace("   deleting from AddressBookAdmins");
        LDAPModList modifications;
        modifications.addModification(LDAPModification(values, LDAPModification::OP_DELETE));
        try {
            modifyEntry(adminsDN, modifications);
            for (AccountRemoval* member : members) {
                ++member->removed.memberships;
            }
        } catch (const LDAPException& e) {
            failed(e, -17, "failed to modify Addressbook Admins", members);
        }
    } catch (const LDAPException& e) {
        failed(e, -17, "failed to modify Addressbook Admins", accounts);
    }
}

void DirectoryStage::deleteSubtree(AccountRemoval& account) {
    try {
        deleteChildren(userDN(account.uid()), account);
    } catch (const LDAPException& e) {
        // Run again after an interruption, a batch finds some users gone.
        if (policy_.missingIsGone && e.getResultCode() == 32 /* noSuchObject */ &&
            account.removed.entries == 0) {
            account.entryGone = true;
            return;
        }
        failed(e, -16, "failed to delete user subentries from ldap: ", {&account});
    }
}

void DirectoryStage::deleteChildren(const std::string& dn, AccountRemoval& account) {
    settings_.trace("DropAcct::delLDAPChildren(" + dn + ")");
    // The whole level is read before anything below it is deleted; a level
    // below one user entry is small.
    std::vector<std::string> children;
    std::unique_ptr<LDAPSearchResults> results = connection_->search(
        dn, LDAPConnection::SEARCH_ONE, "objectclass=*", StringList{"dn"}, true);
    while (std::unique_ptr<LDAPEntry> entry = results->getNext()) {
        children.push_back(entry->getDN());
    }
    results.reset();
    for (const std::string& child : children) {
        deleteChildren(child, account);
        deleteEntry(child);
        ++account.removed.entries;
        settings_.trace("   deleting:" + child);
    }
}

void DirectoryStage::deleteUserEntry(AccountRemoval& account) {
    if (!account.entryGone) {
        settings_.trace("   deleting user entry");
        try {
            deleteEntry(userDN(account.uid()));
            ++account.removed.entries;
        } catch (const LDAPException& e) {
            failed(e, -15, "failed to delete user from ldap: ", {&account});
            return;
        }
    }
    settings_.trace("done DropAcct::dropAcctLDAPEntry()");
}
