// modacct -batch: one change per row of a roster, each as its single run
// would make it, in file order, over one directory session and one run of
// the change engine (so each group gets one modify for all its rows).
#pragma once

#include <iosfwd>
#include <vector>

#include "account/BatchRows.h"

class BatchReport;
class ChangeSettings;

class ChangeBatch {
  public:
    // Reads and checks the roster whole; raises MyException(kBatchRefused
    // or kFileRefused) before anything is written.
    explicit ChangeBatch(const ChangeSettings& settings);
    // Changes the accounts and writes one result line per row on `out`;
    // the exit status.
    int run(std::ostream& out);

  private:
    // What the reader of the result lines lost: the made-up passwords, or
    // how many lines.
    std::string lostOutput(const BatchReport& report,
                           const std::vector<std::string>& passwords) const;

    const ChangeSettings& settings_;
    const std::vector<BatchRow> rows_;
};
