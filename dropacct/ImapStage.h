// The IMAP stage of a removal: one session for all accounts; the accounts
// leave the ACL of every mailbox, then each user's mailbox (and with it its
// sub-mailboxes) is deleted.
#pragma once

#include <functional>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dropacct/RemovalProgress.h"
#include "imap/ImapRecords.h"

class AccountRemoval;
class IMAPException;
class IMAPSimple;
class LdifWriter;
class RemovalSettings;
struct RemovalPolicy;

class ImapStage {
  public:
    // Changes go into `plan` instead when it is given.
    ImapStage(const RemovalSettings& settings, const RemovalPolicy& policy, LdifWriter* plan,
              RemovalProgress progress);
    ~ImapStage();

    // Removes the accounts that are still going. A mailbox that cannot be
    // deleted ends its account, and so does an ACL entry that could not be
    // removed or an ACL that could not be read (213, naming the mailboxes,
    // once the mailbox is deleted); a failed login, a failed listing, an
    // ACL command that times out or a lost connection raises MyException
    // for all of them.
    void run(const std::vector<AccountRemoval*>& accounts);

    // The server's hierarchy separator as LIST "" "" names it (empty for a
    // flat hierarchy, "./" when it names none), asked once per run; in a
    // session of its own when the stage has none yet. Raises MyException
    // with the stage's statuses.
    std::string separators();

  private:
    // Runs `work`, a socket failure raising MyException(-41).
    void guarded(const std::function<void()>& work);
    void runSession(const std::vector<AccountRemoval*>& accounts);
    void login();
    // The other-users namespace, or an IMAPException.
    IMAPNamespace otherUsers();
    // A batch run again after an interruption: an account whose Sieve login
    // was refused has nothing left when its mailbox is gone, else it fails.
    void settleSieveRefusals(const std::vector<AccountRemoval*>& accounts);
    void sweepAcls(const std::vector<AccountRemoval*>& accounts);
    // A batch's sweep: GETACL and DELETEACL commands pipelined.
    void sweepPipelined(const std::map<std::string, AccountRemoval*>& byUid);
    // An ACL command that timed out or met a lost connection ends the stage
    // (213 with its message) for every account not finished.
    void stopAtBrokenAclCommand(const IMAPException& e);
    // The ACL of `mailbox` could not be read: it may hold an entry of any
    // of the accounts.
    void noteAclUnreadable(const std::map<std::string, AccountRemoval*>& byUid,
                           const std::string& mailbox, const std::string& message);
    // The account's mailbox deletion took `mailbox` and its sub-mailboxes
    // along, with every entry in them.
    void forgetAclsWithin(const AccountRemoval& account, const std::string& mailbox,
                          const std::string& delimiter);
    // Ends an account still going with 213 when the sweep left something of
    // it.
    void settleAcls(AccountRemoval& account);
    void deleteMailbox(AccountRemoval& account);
    // The plan's lines for deleting `mailbox` and what lies below it.
    void planMailboxDeletion(const std::string& mailbox, const std::string& delimiter);
    std::string mailboxOf(const AccountRemoval& account) const;
    bool listed(const std::string& mailbox) const;
    void endSession();
    // In a batch, a reply that did not come in time or a lost connection
    // ends the stage for every account not finished.
    void stopWhenOutOfStep(int code, const std::string& message);

    const RemovalSettings& settings_;
    const RemovalPolicy& policy_;
    LdifWriter* const plan_;
    const RemovalProgress progress_;
    std::unique_ptr<IMAPSimple> client_;
    std::list<IMAPFolder> folders_;
    bool foldersListed_ = false;
    std::unique_ptr<IMAPNamespace> namespace_;
    std::string namespaceFailure_;
    std::optional<std::string> separators_;
    // For each account, the mailboxes whose entry of it could not be
    // removed or whose ACL could not be read, with the client's message.
    std::map<const AccountRemoval*, std::vector<std::pair<std::string, std::string>>> aclsLeft_;
};
