// newacct -batch: one account per row of a batch file, each made as a single
// run with the shared parameters and the row's cells would make it, over one
// directory session. A row that fails after writing takes back what it
// wrote; a lost connection, or a directory that stops answering, stops the
// batch.
#pragma once

#include <iosfwd>
#include <vector>

#include "account/BatchLedger.h"
#include "account/BatchRows.h"
#include "newacct/NewAcct.h"

class BatchReport;
class DirectorySession;
class RunSettings;

class BatchRun {
  public:
    // Reads and checks the batch file; raises MyException(kBatchRefused or
    // kFileRefused) before anything is written.
    explicit BatchRun(RunSettings& settings);
    // Makes the accounts and writes one result line per row on `out`; the
    // exit status.
    int run(std::ostream& out);

  private:
    // Builds and checks every row's account; those that pass get their
    // passwords hashed, on every core.
    void prepare(BatchReport& report);
    // Reads what the batch asks the directory once; false when the
    // directory failed and every row was settled.
    bool readLedger(DirectorySession& session, BatchReport& report);
    // Makes one account; false when the connection was lost.
    bool create(size_t index, DirectorySession& session, BatchReport& report);
    void settle(BatchReport& report, size_t index, int status, const std::string& detail);
    // What the message of lost output names: the rows whose made-up
    // passwords did not go out.
    std::string lostPasswords(const BatchReport& report) const;

    RunSettings& settings_;
    const std::vector<BatchRow> rows_;
    std::vector<NewAcct> accounts_;
    std::vector<bool> pending_;  // checked, not yet settled
    std::vector<bool> made_;
    BatchLedger ledger_;
    // What the rows not done are told when the directory is lost, or stops answering.
    std::string stopped_ = "not done: the connection to the directory was lost";
};
