// The IMAP stage of a removal: the user leaves the ACL of every mailbox,
// then the user's mailbox (and with it its sub-mailboxes) is deleted.
#include <commoncpp/commoncpp.h>
#include <commoncpp/socket.h>

#include <iostream>

#include "common/MyException.h"
#include "dropacct/DropAcct.h"
#include "imap/IMAPSimple.h"
#include "wire/TlsChannel.h"

namespace {

// Cyrus lets an administrator delete a user's mailbox only while the
// administrator holds the "x" right on it; the implicit rights are "l" and
// "a" only. When DELETE is refused, grant "x" and try once more.
void deleteMailbox(IMAPSimple& client, const std::string& mailbox, const std::string& admin) {
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

}  // namespace

void DropAcct::planMailboxDeletion(IMAPSimple& client, const std::string& mailbox,
                                   const std::string& delimiter) {
    plan_->comment("imap: delete " + quotedName(mailbox));
    // Deleting the mailbox deletes these with it.
    for (const IMAPFolder& below :
         client.list("\"\"", quotedName(mailbox + (delimiter.empty() ? "." : delimiter) + "*"))) {
        plan_->comment("imap:   with " + quotedName(below.name));
    }
}

void DropAcct::dropAcctFromCyrus() {
    trace("DropAcct::dropAcctFromCyrus()");
    std::unique_ptr<IMAPSimple> client;
    const auto endSession = [&client]() {
        client->logout();
        client.reset();
    };
    try {
        try {
            client = std::make_unique<IMAPSimple>(cyrusHost_.c_str(), cyrusPort_, replyWaits_);
            client->debug = debug;
            if (tls_.imaps) {
                client->startImplicitTls(tlsFor(cyrusHost_));
            } else if (tls_.any()) {
                client->startTls(tlsFor(cyrusHost_));
            }
            // The client quotes the password but does not escape it; front
            // ends on standard input rely on it being escaped here.
            const std::string password =
                stdinMode ? IMAPSimple::escapeString(adminPassword_) : adminPassword_;
            trace("IMAP login");
            client->login(adminLogin_, password);
        } catch (const IMAPException& e) {
            if (client) {
                endSession();
            }
            throw MyException(-42, "IMAP login failed:" + e.message);
        }

        std::list<IMAPFolder> folders;
        if (processAcls_) {
            trace("Deleting User from ACLs of all folders");
            try {
                folders = client->list("\"\"", "*");
            } catch (const IMAPException& e) {
                endSession();
                throw MyException(-43, "could not delete ACLs: " + e.message);
            }
            // A mailbox whose ACL cannot be read or changed is passed over:
            // the mailbox deletion still runs.
            for (const IMAPFolder& folder : folders) {
                std::list<IMAPAcl> acls;
                try {
                    acls = client->getACL(folder.name);
                } catch (const IMAPException&) {
                    continue;
                }
                for (const IMAPAcl& acl : acls) {
                    if (acl.identifier != uid_)
                        continue;
                    if (plan_) {
                        plan_->comment("imap: deleteacl " + quotedName(folder.name) + " " +
                                       IMAPSimple::identifier(uid_));
                        continue;
                    }
                    try {
                        client->deleteACL(folder.name, uid_);
                        ++removed_.acls;
                    } catch (const IMAPException&) {
                    }
                }
            }
        }

        try {
            trace("Deleting user's inbox");
            const IMAPNamespaceSet namespaces = client->Namespace();
            if (namespaces.otherUsers.empty()) {
                throw IMAPException("namespace",
                                    "the server reports no other-users namespace to find the "
                                    "user's mailbox in");
            }
            const IMAPNamespace& others = namespaces.otherUsers.front();
            const std::string mailbox = others.prefix + uid_;
            if (plan_) {
                planMailboxDeletion(*client, mailbox, others.delimiter);
            } else {
                deleteMailbox(*client, mailbox, adminLogin_);
                // The sub-mailboxes the listing showed went with it.
                removed_.mailboxes = 1;
                for (const IMAPFolder& folder : folders) {
                    removed_.mailboxes +=
                        folder.name.rfind(mailbox + others.delimiter, 0) == 0 ? 1 : 0;
                }
            }
        } catch (const IMAPException& e) {
            endSession();
            throw MyException(-44, "could not delete INBOX of user " + uid_ +
                                       "\nError Message from server: " + e.message);
        }
        endSession();
    } catch (ost::Socket*) {
        client.reset();
        throw MyException(-41, "Socket Error");
    } catch (const ost::SockException&) {
        client.reset();
        throw MyException(-41, "Socket Error");
    }
}
