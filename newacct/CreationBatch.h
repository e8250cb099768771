// newacct's batch engine, for newacct -batch and for programs that create
// accounts in-process: the accounts of roster rows held in memory, each made
// as a single run with the shared parameters and the row's cells would make
// it, over one directory session, in row order. Each account's result goes
// to a callback as soon as it is known. A row that fails after writing takes
// back what it wrote; a lost connection, or a directory that stops
// answering, stops the batch.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "account/BatchLedger.h"
#include "account/BatchRows.h"
#include "newacct/NewAcct.h"

class DirectorySession;
class MyException;
class RunSettings;

struct CreationResult {
    int status = 0;          // 0 to 255
    std::string message;     // for a status other than 0
    unsigned uidNumber = 0;  // for 0
    std::string password;    // for 0: the password made up with -genpw, else empty
};

// What the reader of lost output needs to know when the passwords made up
// for `logins` (a list, "anna, ben") did not go out: those accounts exist.
std::string undeliveredPasswords(const std::string& logins);

class CreationBatch {
  public:
    using Report = std::function<void(size_t index, const CreationResult& result)>;

    // `rows` passed the roster's checks (readBatchRows); `settings` holds
    // the parameters every row shares and outlives the batch.
    CreationBatch(const RunSettings& settings, std::vector<BatchRow> rows, Report report);
    // The program whose name the audit lines carry.
    void setAuditName(std::string program) { auditName_ = std::move(program); }

    // Builds and checks every row's account (a row that fails is reported);
    // those that pass get their passwords hashed, on every core.
    void prepare();
    // Whether a row passed and waits for the directory.
    bool anyPending() const;
    // Ends every row still waiting with `error` (the bind failed).
    void failPending(const MyException& error);
    // Asks the directory once, then makes the waiting accounts over
    // `session` in row order.
    void run(DirectorySession& session);
    // Whether the directory was lost or stopped answering, which stopped the
    // batch; what the rows not done were told.
    bool stopped() const { return stopped_; }
    const std::string& stopMessage() const { return stopMessage_; }
    // With -dryrun: the plans of the accounts that would be made, in row order.
    std::string plans() const;

  private:
    // Reads what the batch asks the directory once; false when the
    // directory failed and every row was settled.
    bool readLedger(DirectorySession& session);
    // Makes one account; false when the connection was lost.
    bool create(size_t index, DirectorySession& session);
    void settle(size_t index, const CreationResult& result);

    const RunSettings& settings_;
    const std::vector<BatchRow> rows_;
    const Report report_;
    std::string auditName_ = "newacct";
    std::vector<NewAcct> accounts_;
    std::vector<bool> pending_;  // checked, not yet settled
    std::vector<bool> made_;
    BatchLedger ledger_;
    bool stopped_ = false;
    std::string stopMessage_ = "not done: the connection to the directory was lost";
};
