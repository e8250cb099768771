// dropacct: removes one user account, or every account of a roster, from
// the directory, the Sieve server and the IMAP server. Exit statuses tell
// the caller which stage failed.
#include <csignal>
#include <cstdlib>
#include <iostream>

#include "common/CoreDumps.h"
#include "common/MyException.h"
#include "common/OutputCheck.h"
#include "dropacct/BatchRun.h"
#include "dropacct/CommandLine.h"
#include "dropacct/DropAcct.h"

int main(int argc, char** argv) {
    // The process holds the administrator's password.
    disableCoreDumps();
    // A server that closes its end must fail a write, not kill the run.
    std::signal(SIGPIPE, SIG_IGN);
    DropAcct account;
    // Every run that goes to the servers to remove leaves an audit line.
    bool audited = false;
    try {
        if (isStdinMode(argc, argv)) {
            readStdin(account, std::cin, std::cout);
        } else {
            const int status = readOptions(account, argc, argv, std::cout);
            if (status >= 0) {
                return status;
            }
        }
        account.applySiteDefaults();
        account.checkParams();
        if (account.batch()) {
            // Each account of a batch leaves its own audit line.
            return runBatch(account, std::cout);
        }
        audited = !account.dryRun();
        account.dropAcct();
    } catch (const MyException& e) {
        std::cout << e.message << std::endl;
        if (audited) {
            account.audit(e.code & 0xff, e.message);
        }
        std::exit(e.code);
    }
    if (audited) {
        account.audit(0, "");
    }
    // A plan (-dryrun) that did not reach its reader must not end 0.
    if (!flushed(std::cout)) {
        std::cerr << outputFailure("the plan was not delivered") << std::endl;
        return kOutputFailed & 0xff;
    }
    return 0;
}
