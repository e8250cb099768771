// A sync: the roster checked whole, one bind, the scoped classes read, the
// change engines' reads and plans, the summary and the guard; then the
// accounts created (newacct's batch engine), changed and unlocked, locked
// (modacct's engine) and removed (dropacct's stages), in that order, each
// account's result line as soon as it is known. A lost server stops the
// run: the accounts not done get its status and message.
#pragma once

#include <iosfwd>
#include <vector>

#include "account/BatchRows.h"

class SyncSettings;

class SyncRun {
  public:
    // Reads and checks the roster as newacct -batch does; raises
    // MyException(kBatchRefused or kFileRefused) before anything is contacted.
    explicit SyncRun(const SyncSettings& settings);
    // The result lines go to `out` (a plan first with -dryrun), the summary
    // and the messages of the run as a whole to `err`; the exit status.
    int run(std::ostream& out, std::ostream& err);

  private:
    const SyncSettings& settings_;
    const std::vector<BatchRow> rows_;
};
