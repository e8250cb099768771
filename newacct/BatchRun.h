// newacct -batch: the rows of a batch file made by the batch engine over one
// directory session of their own, one result line per row.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "account/BatchRows.h"

class BatchReport;
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
    // What the message of lost output names: the rows whose made-up
    // passwords did not go out.
    std::string lostPasswords(const BatchReport& report,
                              const std::vector<std::string>& passwords) const;

    RunSettings& settings_;
    const std::vector<BatchRow> rows_;
};
