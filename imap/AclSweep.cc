// GETACL and DELETEACL commands over the pipeline, parsed as the
// one-at-a-time client parses them.
#include "imap/AclSweep.h"

#include "imap/AclPipeline.h"
#include "imap/IMAPException.h"
#include "imap/IMAPSimple.h"

namespace {

std::string quotedName(const std::string& name) {
    return "\"" + IMAPSimple::escapeString(name) + "\"";
}

}  // namespace

AclSweep::AclSweep(IMAPSimple& client, size_t window) : client_(client), window_(window) {}

std::vector<MailboxAcl> AclSweep::sweep(const std::vector<std::string>& mailboxes) {
    std::vector<PipelinedCommand> commands;
    commands.reserve(mailboxes.size());
    for (const std::string& mailbox : mailboxes) {
        commands.push_back({mailbox, "getacl " + quotedName(mailbox)});
    }
    std::function<void(size_t)> done;
    if (progress) {
        done = [this, &mailboxes](size_t settled) { progress(settled, mailboxes.size()); };
    }
    const std::vector<PipelinedReply> replies =
        client_.pipeline(commands, "getacl", "G", window_, done);
    std::vector<MailboxAcl> acls(mailboxes.size());
    for (size_t i = 0; i < replies.size(); ++i) {
        if (replies[i].result < 0) {
            acls[i].failure = IMAPException("getacl", replies[i].response).message;
            continue;
        }
        try {
            acls[i].acls = parseAclLines(replies[i].untagged, mailboxes[i]);
        } catch (const IMAPException& e) {
            acls[i].failure = e.message;
        }
    }
    return acls;
}

std::vector<std::string> AclSweep::deleteAcls(const std::vector<AclRemoval>& removals) {
    std::vector<PipelinedCommand> commands;
    std::vector<size_t> sent;  // the removal behind each command
    for (size_t i = 0; i < removals.size(); ++i) {
        const AclRemoval& removal = removals[i];
        if (removal.mailbox.empty() || removal.identifier.empty()) {
            continue;
        }
        commands.push_back({removal.mailbox, "deleteacl " + quotedName(removal.mailbox) + " " +
                                                 IMAPSimple::identifier(removal.identifier)});
        sent.push_back(i);
    }
    const std::vector<PipelinedReply> replies =
        client_.pipeline(commands, "deleteacl", "R", window_, nullptr);
    std::vector<std::string> failures(removals.size());
    for (size_t k = 0; k < replies.size(); ++k) {
        if (replies[k].result < 0) {
            failures[sent[k]] = IMAPException("deleteacl", replies[k].response).message;
        }
    }
    return failures;
}
