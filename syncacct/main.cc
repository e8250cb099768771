// syncacct: brings the accounts of a school's classes in line with the
// office's roster: creates the new pupils, moves and changes the others,
// locks the leavers and, after a grace period, removes them from the
// directory, the Sieve server and the IMAP server. Errors while reading the
// parameters and messages of the run as a whole go to standard error, the
// result lines (and a plan) to standard output; the exit status tells the
// caller what failed.
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "account/AccountOptions.h"
#include "common/CoreDumps.h"
#include "common/MyException.h"
#include "syncacct/CommandLine.h"
#include "syncacct/SyncRun.h"
#include "syncacct/SyncSettings.h"

int main(int argc, char** argv) {
    // The process holds the administrator's and the users' passwords.
    disableCoreDumps();
    // A server that closes its end must fail a write, not kill the run.
    std::signal(SIGPIPE, SIG_IGN);
    std::setlocale(LC_CTYPE, "");
    SyncSettings settings;
    std::unique_ptr<SyncRun> sync;
    try {
        const int status = readRunSettings(settings, argc, argv, std::cin, std::cout, readOptions);
        if (status >= 0) {
            return status;
        }
        settings.check();
        sync = std::make_unique<SyncRun>(settings);
    } catch (const MyException& e) {
        std::cerr << e.message << std::endl;
        std::exit(e.code);
    }
    return sync->run(std::cout, std::cerr);
}
