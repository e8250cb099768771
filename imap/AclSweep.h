// Batch mode's ACL commands on a logged-in IMAPSimple session: the ACLs of
// many mailboxes read, and many ACL entries removed, with commands
// pipelined (a window in flight). A single run keeps IMAPSimple's
// one-at-a-time getACL and deleteACL and their bytes.
//
//     AclSweep sweep(client);             // after client.login(...)
//     std::vector<MailboxAcl> acls = sweep.sweep(names);   // names as LIST gave them
//     std::vector<std::string> failures = sweep.deleteAcls(removals);
//
// A refused command (NO, BAD) or an unreadable ACL is its own item's
// failure; the others go on. A BYE, a lost or silent connection raises
// IMAPException (as the one-at-a-time calls do), and the session is done.
#pragma once

#include <cstddef>
#include <functional>
#include <list>
#include <string>
#include <vector>

#include "imap/ImapRecords.h"

class IMAPSimple;

// One mailbox's ACL, or why it could not be read.
struct MailboxAcl {
    // Empty when the ACL was read; else the message the one-at-a-time
    // getACL would raise ("getacl failed: Serverresponse: NO ...").
    std::string failure;
    std::list<IMAPAcl> acls;
};

struct AclRemoval {
    std::string mailbox;  // as LIST gives it
    std::string identifier;
};

class AclSweep {
  public:
    // Commands in flight at once; the benchmark (bench/acl_sweep.sh) gives
    // the curve this was read from.
    static constexpr size_t kDefaultWindow = 64;

    explicit AclSweep(IMAPSimple& client, size_t window = kDefaultWindow);

    // The ACL of each mailbox, in input order.
    std::vector<MailboxAcl> sweep(const std::vector<std::string>& mailboxes);

    // For each removal, in input order: empty when the entry was removed
    // (or the mailbox or identifier is empty: nothing is sent), else the
    // message the one-at-a-time deleteACL would raise. Removals on one
    // mailbox go one after the other.
    std::vector<std::string> deleteAcls(const std::vector<AclRemoval>& removals);

    // Called with (mailboxes swept so far, mailboxes in the sweep) as
    // replies come in; optional.
    std::function<void(size_t, size_t)> progress;

  private:
    IMAPSimple& client_;
    size_t window_;
};
