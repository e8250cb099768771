// The IMAP stage of a removal.
#include "dropacct/ImapStage.h"

#include <algorithm>

#include <commoncpp/commoncpp.h>
#include <commoncpp/socket.h>

#include "common/LdifWriter.h"
#include "common/MyException.h"
#include "dropacct/AccountRemoval.h"
#include "dropacct/LoginSeparator.h"
#include "dropacct/RemovalPolicy.h"
#include "dropacct/RemovalSettings.h"
#include "imap/AclSweep.h"
#include "imap/IMAPSimple.h"
#include "wire/TlsChannel.h"

namespace {

// Cyrus lets an administrator delete a user's mailbox only while the
// administrator holds the "x" right on it; the implicit rights are "l" and
// "a" only. When DELETE is refused, grant "x" and try once more.
void deleteWithRetry(IMAPSimple& client, const std::string& mailbox, const std::string& admin) {
    try {
        client.del(mailbox);
    } catch (const IMAPException& refused) {
        if (refused.message.rfind("delete failed: Serverresponse: NO", 0) != 0) {
            throw;
        }
        try {
            client.setACL(mailbox, admin, "x");
        } catch (const IMAPException&) {
            throw refused;
        }
        client.del(mailbox);
    }
}

std::string quotedName(const std::string& name) {
    return "\"" + IMAPSimple::escapeString(name) + "\"";
}

MyException mailboxFailure(const AccountRemoval& account, const std::string& message) {
    return MyException(-44, "could not delete INBOX of user " + account.uid() +
                                "\nError Message from server: " + message);
}

}  // namespace

ImapStage::ImapStage(const RemovalSettings& settings, const RemovalPolicy& policy, LdifWriter* plan,
                     RemovalProgress progress)
    : settings_(settings), policy_(policy), plan_(plan), progress_(std::move(progress)) {}

ImapStage::~ImapStage() = default;

void ImapStage::run(const std::vector<AccountRemoval*>& accounts) {
    settings_.trace("DropAcct::dropAcctFromCyrus()");
    guarded([&] { runSession(accounts); });
}

void ImapStage::guarded(const std::function<void()>& work) {
    try {
        work();
    } catch (ost::Socket*) {
        client_.reset();
        throw MyException(-41, "Socket Error");
    } catch (const ost::SockException&) {
        client_.reset();
        throw MyException(-41, "Socket Error");
    }
}

std::string ImapStage::separators() {
    if (separators_) {
        return *separators_;
    }
    guarded([&] {
        const bool ownSession = !client_;
        if (ownSession) {
            login();
        }
        try {
            const std::list<IMAPFolder> root = client_->list("\"\"", "\"\"");
            // A server that names no separator may use either.
            separators_ = root.empty()             ? "./"
                          : root.front().delimiter ? std::string(1, root.front().delimiter)
                                                   : "";
        } catch (const IMAPException& e) {
            endSession();
            throw MyException(
                -43, "could not learn the IMAP server's hierarchy separator: " + e.message);
        }
        if (ownSession) {
            endSession();
        }
    });
    return *separators_;
}

void ImapStage::runSession(const std::vector<AccountRemoval*>& accounts) {
    login();
    // Before any ACL entry or mailbox is touched; a login without '.' and
    // '/' costs nothing.
    if (anyMayHoldSeparator(accounts)) {
        refuseSeparatorLogins(accounts, separators());
        if (stillGoing(accounts).empty()) {
            endSession();
            return;
        }
    }
    // A batch always lists: a mailbox already gone is nothing left to remove.
    if (settings_.processAcls || policy_.missingIsGone) {
        if (settings_.processAcls) {
            settings_.trace("Deleting User from ACLs of all folders");
        }
        try {
            folders_ = client_->list("\"\"", "*");
            foldersListed_ = true;
        } catch (const IMAPException& e) {
            endSession();
            throw MyException(-43, "could not delete ACLs: " + e.message);
        }
    }
    if (policy_.sieveRefusalAwaitsMailbox) {
        settleSieveRefusals(accounts);
    }
    if (settings_.processAcls) {
        sweepAcls(stillGoing(accounts));
    }
    for (AccountRemoval* account : stillGoing(accounts)) {
        deleteMailbox(*account);
        settleAcls(*account);
        if (progress_.settled) {
            progress_.settled(*account);
        }
    }
    endSession();
}

void ImapStage::login() {
    try {
        client_ = std::make_unique<IMAPSimple>(settings_.cyrusHost.c_str(), settings_.cyrusPort,
                                               settings_.replyWaits);
        client_->debug = settings_.debug;
        if (policy_.sharedSessions) {
            client_->numberTags();
        }
        if (settings_.tls.imaps) {
            client_->startImplicitTls(settings_.tlsFor(settings_.cyrusHost));
        } else if (settings_.tls.any()) {
            client_->startTls(settings_.tlsFor(settings_.cyrusHost));
        }
        // The client quotes the password but does not escape it; front ends
        // on standard input rely on it being escaped here.
        const std::string password = settings_.stdinMode
                                         ? IMAPSimple::escapeString(settings_.adminPassword)
                                         : settings_.adminPassword;
        settings_.trace("IMAP login");
        client_->login(settings_.adminLogin, password);
    } catch (const IMAPException& e) {
        if (client_) {
            endSession();
        }
        throw MyException(-42, "IMAP login failed:" + e.message);
    }
}

IMAPNamespace ImapStage::otherUsers() {
    if (!namespace_ && namespaceFailure_.empty()) {
        try {
            const IMAPNamespaceSet namespaces = client_->Namespace();
            // NIL: the server offers no other-users namespace; the bare
            // login would name some top-level mailbox. So would an empty
            // prefix, which is also what a prefix in a form the reader
            // does not take (a literal) leaves.
            const auto& others = namespaces.otherUsers;
            if (others.empty() || others.front().isNil || others.front().prefix.empty()) {
                throw IMAPException("namespace",
                                    "the server reports no other-users namespace to find the "
                                    "user's mailbox in");
            }
            namespace_ = std::make_unique<IMAPNamespace>(namespaces.otherUsers.front());
        } catch (const IMAPException& e) {
            namespaceFailure_ = e.message;
        }
    }
    if (!namespace_) {
        throw IMAPException(namespaceFailure_);
    }
    return *namespace_;
}

std::string ImapStage::mailboxOf(const AccountRemoval& account) const {
    return namespace_->prefix + account.uid();
}

bool ImapStage::listed(const std::string& mailbox) const {
    for (const IMAPFolder& folder : folders_) {
        if (folder.name == mailbox) {
            return true;
        }
    }
    return false;
}

void ImapStage::settleSieveRefusals(const std::vector<AccountRemoval*>& accounts) {
    for (AccountRemoval* account : stillGoing(accounts)) {
        if (!account->sieveRefused) {
            continue;
        }
        try {
            otherUsers();
        } catch (const IMAPException& e) {
            account->fail(mailboxFailure(*account, e.message));
            stopWhenOutOfStep(-44, e.message);
            continue;
        }
        if (listed(mailboxOf(*account))) {
            account->fail(*account->sieveRefused);
        }
    }
}

void ImapStage::sweepAcls(const std::vector<AccountRemoval*>& accounts) {
    std::map<std::string, AccountRemoval*> byUid;
    for (AccountRemoval* account : accounts) {
        byUid[account->uid()] = account;
    }
    if (policy_.sharedSessions) {
        sweepPipelined(byUid);
        return;
    }
    // A mailbox whose ACL cannot be read or changed is noted and passed
    // over: the other entries and the mailbox deletion still go.
    for (const IMAPFolder& folder : folders_) {
        std::list<IMAPAcl> acls;
        try {
            acls = client_->getACL(folder.name);
        } catch (const IMAPException& e) {
            stopAtBrokenAclCommand(e);
            noteAclUnreadable(byUid, folder.name, e.message);
            continue;
        }
        for (const IMAPAcl& acl : acls) {
            const auto account = byUid.find(acl.identifier);
            if (account == byUid.end())
                continue;
            if (plan_) {
                plan_->comment("imap: deleteacl " + quotedName(folder.name) + " " +
                               IMAPSimple::identifier(acl.identifier));
                continue;
            }
            try {
                client_->deleteACL(folder.name, acl.identifier);
                ++account->second->removed.acls;
            } catch (const IMAPException& e) {
                stopAtBrokenAclCommand(e);
                aclsLeft_[account->second].emplace_back(folder.name, e.message);
            }
        }
    }
}

void ImapStage::sweepPipelined(const std::map<std::string, AccountRemoval*>& byUid) {
    std::vector<std::string> names;
    for (const IMAPFolder& folder : folders_) {
        names.push_back(folder.name);
    }
    AclSweep sweep(*client_);
    sweep.progress = progress_.swept;
    std::vector<AclRemoval> removals;
    std::vector<AccountRemoval*> owners;
    try {
        // As one at a time, a mailbox whose ACL cannot be read or changed
        // is noted and passed over.
        const std::vector<MailboxAcl> acls = sweep.sweep(names);
        for (size_t i = 0; i < acls.size(); ++i) {
            if (!acls[i].failure.empty()) {
                noteAclUnreadable(byUid, names[i], acls[i].failure);
            }
            for (const IMAPAcl& acl : acls[i].acls) {
                const auto account = byUid.find(acl.identifier);
                if (account == byUid.end())
                    continue;
                if (plan_) {
                    plan_->comment("imap: deleteacl " + quotedName(names[i]) + " " +
                                   IMAPSimple::identifier(acl.identifier));
                    continue;
                }
                removals.push_back({names[i], acl.identifier});
                owners.push_back(account->second);
            }
        }
        const std::vector<std::string> failures = sweep.deleteAcls(removals);
        for (size_t i = 0; i < failures.size(); ++i) {
            if (failures[i].empty()) {
                ++owners[i]->removed.acls;
            } else {
                aclsLeft_[owners[i]].emplace_back(removals[i].mailbox, failures[i]);
            }
        }
    } catch (const IMAPException& e) {
        // A BYE or a lost connection: the server is gone for every account.
        endSession();
        throw MyException(-43, "could not delete ACLs: " + e.message);
    }
}

void ImapStage::deleteMailbox(AccountRemoval& account) {
    try {
        settings_.trace("Deleting user's inbox");
        const IMAPNamespace others = otherUsers();
        const std::string mailbox = mailboxOf(account);
        // Run again after an interruption, a batch finds some mailboxes gone.
        if (policy_.missingIsGone && foldersListed_ && !listed(mailbox)) {
            return;
        }
        if (plan_) {
            planMailboxDeletion(mailbox, others.delimiter);
        } else {
            deleteWithRetry(*client_, mailbox, settings_.adminLogin);
            // The sub-mailboxes the listing showed went with it.
            account.removed.mailboxes = 1;
            for (const IMAPFolder& folder : folders_) {
                account.removed.mailboxes +=
                    folder.name.rfind(mailbox + others.delimiter, 0) == 0 ? 1 : 0;
            }
        }
        forgetAclsWithin(account, mailbox, others.delimiter);
    } catch (const IMAPException& e) {
        account.fail(mailboxFailure(account, e.message));
        stopWhenOutOfStep(-44, e.message);
    }
}

void ImapStage::stopAtBrokenAclCommand(const IMAPException& e) {
    if (!client_->inStep()) {
        endSession();
        throw MyException(-43, "could not delete ACLs: " + e.message);
    }
}

void ImapStage::noteAclUnreadable(const std::map<std::string, AccountRemoval*>& byUid,
                                  const std::string& mailbox, const std::string& message) {
    // Any of the accounts may have an entry there.
    for (const auto& account : byUid) {
        aclsLeft_[account.second].emplace_back(mailbox, message);
    }
}

void ImapStage::forgetAclsWithin(const AccountRemoval& account, const std::string& mailbox,
                                 const std::string& delimiter) {
    const auto left = aclsLeft_.find(&account);
    if (left == aclsLeft_.end()) {
        return;
    }
    const std::string below = mailbox + (delimiter.empty() ? "." : delimiter);
    auto& entries = left->second;
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const std::pair<std::string, std::string>& entry) {
                                     return entry.first == mailbox ||
                                            entry.first.rfind(below, 0) == 0;
                                 }),
                  entries.end());
}

void ImapStage::settleAcls(AccountRemoval& account) {
    const auto left = aclsLeft_.find(&account);
    if (!account.going() || left == aclsLeft_.end() || left->second.empty()) {
        return;
    }
    std::string what;
    for (const auto& [mailbox, message] : left->second) {
        what += (what.empty() ? "" : ", ") + quotedName(mailbox) + " (" +
                message.substr(0, message.find_last_not_of("\r\n ") + 1) + ")";
    }
    account.fail(MyException(-43, "could not delete ACLs: " + what));
}

void ImapStage::stopWhenOutOfStep(int code, const std::string& message) {
    if (policy_.silenceEndsStage && !client_->inStep()) {
        endSession();
        // For the accounts not finished; the one whose command it was
        // keeps its own message.
        throw MyException(code, "not done: the IMAP session broke off: " + message);
    }
}

void ImapStage::planMailboxDeletion(const std::string& mailbox, const std::string& delimiter) {
    // A plan fails where the deletion would: for a mailbox that is not there.
    bool exists = foldersListed_ && listed(mailbox);
    if (!foldersListed_) {
        for (const IMAPFolder& folder : client_->list("\"\"", quotedName(mailbox))) {
            exists = exists || folder.name == mailbox;
        }
    }
    if (!exists) {
        throw IMAPException("delete", "the server lists no mailbox " + mailbox);
    }
    plan_->comment("imap: delete " + quotedName(mailbox));
    // Deleting the mailbox deletes these with it.
    for (const IMAPFolder& below :
         client_->list("\"\"", quotedName(mailbox + (delimiter.empty() ? "." : delimiter) + "*"))) {
        plan_->comment("imap:   with " + quotedName(below.name));
    }
}

void ImapStage::endSession() {
    client_->logout();
    client_.reset();
}
