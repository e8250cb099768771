// The engine that changes accounts, for modacct and for programs that change
// accounts in-process: over one directory session it reads the stored
// accounts of a list of requests, plans each change in the requests' order
// (an address claimed by an earlier request is refused for a later one),
// writes the plans (the user entries, then the class groups, one modify per
// group, then the contact cards), puts back what an account wrote when a
// later write of it fails, and reports each account's result. An account
// whose entry changed since it was read (its conditional write refused), or
// whose new address another account took meanwhile, is read, planned and
// written again, after a random pause, up to kMaxAttempts times.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "account/BatchLedger.h"
#include "common/MyException.h"
#include "modacct/AccountChange.h"
#include "modacct/AccountReads.h"
#include "modacct/ChangePlan.h"
#include "modacct/PutBack.h"
#include "modacct/StoredAccount.h"

class DirectorySession;
class LDAPException;

// The status of a request for an account that is not there (no posixAccount
// uid=<login>,<base>); nothing is written for it.
constexpr int kNoSuchAccount = -23;
class LdifWriter;
class WriteWindow;

struct ChangeResult {
    int status = 0;        // 0 to 255
    std::string message;   // for a status other than 0
    std::string changed;   // for 0: "class,mail", or "unchanged"
    std::string password;  // a made-up password now stored (also after a failure)
};

class ChangeEngine {
  public:
    using Report = std::function<void(size_t index, const ChangeResult& result)>;
    using Trace = std::function<void(const std::string& line)>;

    explicit ChangeEngine(DirectorySession& session);
    ~ChangeEngine();
    ChangeEngine(const ChangeEngine&) = delete;
    ChangeEngine& operator=(const ChangeEngine&) = delete;

    // A plan (-dryrun): the same reads and checks, the writes written down
    // as LDIF in `plan` (unpublished) instead of made.
    void setPlan(LdifWriter* plan) { plan_ = plan; }
    // Receives a line for each step, without secrets.
    void setTrace(Trace trace) { trace_ = std::move(trace); }
    // The requests name most of the directory's accounts: read every
    // account, card and group in one search each (AccountReads::readWhole).
    void setReadWhole(bool whole) { readWhole_ = whole; }

    // Changes the accounts of `requests` (checked, passwords prepared, each
    // login once) and reports each once, by its index. A lost connection
    // stops the run: the accounts not done end 244. The same as prepare,
    // then write.
    void run(const std::vector<AccountChange>& requests, const Report& report);
    // After run(): the groups that the account of request `index` left
    // although no -class named them (-class without a scope sets the classes
    // among all groups); empty for an account that did not end 0.
    std::vector<std::string> unnamedLeft(size_t index) const;

    // The two halves of a run, for a caller that decides between them.
    // Reads the stored accounts of `requests` and plans each change, in the
    // requests' order; nothing is written or reported. `requests` must
    // outlive the engine's use of them.
    void prepare(const std::vector<AccountChange>& requests);
    // What the reads and the plan found for request `index`: the stored
    // account (null when there is none), its plan (null when it failed
    // before its plan was made) and the failure it will end with, if any.
    struct Outcome {
        const StoredAccount* stored;
        const ChangePlan* plan;
        const MyException* error;
    };
    Outcome outcome(size_t index) const;
    // The failure of the reads as a whole (a search failed, the connection
    // was lost): every account ends with it.
    const std::optional<MyException>& readFailure() const { return readFailure_; }
    // Nothing is written for request `index`, and it is not reported.
    void leaveOut(size_t index);
    // Writes the plans of the accounts still going, reading and planning
    // again those whose entries changed meanwhile, and reports every
    // account not left out, by its index.
    void write(const Report& report);
    // Whether the connection was lost while writing.
    bool lost() const { return lost_; }
    // The failure of an account the run could not finish: the connection
    // was lost, or the directory stopped answering.
    MyException notDone() const;

  private:
    // A write refused as the entry changed since it was read, or a new
    // address that another account took meanwhile.
    struct Conflict {
        // The refusal, and the entry refused as it was read: when a new read
        // finds it unchanged, the refusal was the directory's word.
        std::optional<MyException> refusal;
        std::optional<LDAPAttributeList> seen;
        bool card = false;
    };
    struct Account {
        const AccountChange* request = nullptr;
        StoredAccount stored;
        std::optional<ChangePlan> plan;
        PutBack written;
        std::optional<MyException> error;
        std::optional<Conflict> conflict;
        int attempts = 0;
        // What the plans that wrote changed, and the groups they left unnamed.
        std::vector<std::string> changed;
        std::vector<std::string> unnamedLeft;
        // The made-up password is stored, and stays so after a failure.
        bool passwordLeft = false;
        bool found = false;
        bool settled = false;
        bool unchanged = false;  // its plan holds nothing: never written
        bool leftOut = false;
    };
    using Round = std::vector<Account*>;

    // Reads and plans `round`; false (each account of it failed) when the
    // reads fail.
    bool readAndPlan(const Round& round, bool again);
    void read(const Round& round, AccountReads& reads);
    void plan(const Round& round, AccountReads& reads, bool again);
    void writeUsers(const Round& round, WriteWindow& window);
    void guardAddresses(const Round& round);
    void writeGroups(const Round& round, WriteWindow& window, const AccountReads& reads);
    void writeContacts(const Round& round, WriteWindow& window);
    // The accounts of `round` to go again; those out of attempts fail.
    Round nextRound(const Round& round);
    void putBackFailed();
    // Reports the accounts of `round` whose plans hold nothing.
    void settleUnchanged(const Round& round);
    void settleAll();

    // Whether an account is still on its way (checked, planned, no error).
    bool going(const Account& account) const;
    void settle(Account& account, const ChangeResult& result);
    ChangeResult success(const Account& account) const;
    void fail(Account& account, const MyException& error);
    // A write of the account's plan was made: what the plan changes counts.
    void wrote(Account& account);
    // A refused write: a conflict when the entry may have changed since it
    // was read (or the card was added or deleted meanwhile), else a failure.
    void refused(Account& account, const LDAPException& error, const std::string& what, bool card);
    // A write that was refused or lost: the account fails with `what` and
    // the directory's text (or as not done, when the connection is lost).
    void failWrite(Account& account, const LDAPException& error, const std::string& what);
    // Whether another account holds one of the plan's claims now.
    bool othersHold(const Account& account);
    // Whether another account still holds `claim` after a pause: one seen
    // once may be another run on its way back.
    bool heldAfterPause(const std::string& claim, const std::string& login);
    void trace(const std::string& line) const;

    DirectorySession& session_;
    LdifWriter* plan_ = nullptr;
    Trace trace_;
    Report report_;
    std::vector<Account> accounts_;
    BatchLedger ledger_;
    Round round_;  // the accounts the next writes are for
    std::optional<AccountReads> reads_;
    std::optional<MyException> readFailure_;
    bool readWhole_ = false;
    bool lost_ = false;
};
