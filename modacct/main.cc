// modacct: changes one user account in the directory (classes, names,
// addresses, password, lock), or with -batch one per row of a file. Errors
// while reading the parameters go to standard error, later ones to standard
// output; the exit status tells the caller what failed.
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "account/AccountOptions.h"
#include "common/CoreDumps.h"
#include "common/MyException.h"
#include "modacct/ChangeBatch.h"
#include "modacct/ChangeSettings.h"
#include "modacct/CommandLine.h"
#include "modacct/SingleRun.h"

int main(int argc, char** argv) {
    // The process holds the administrator's and the users' passwords.
    disableCoreDumps();
    // A directory server that closes its end must fail a write, not kill the run.
    std::signal(SIGPIPE, SIG_IGN);
    std::setlocale(LC_CTYPE, "");
    ChangeSettings settings;
    std::unique_ptr<ChangeBatch> batch;
    try {
        const int status = readRunSettings(settings, argc, argv, std::cin, std::cout, readOptions);
        if (status >= 0) {
            return status;
        }
        if (!settings.batchFile().empty()) {
            batch = std::make_unique<ChangeBatch>(settings);
        }
    } catch (const MyException& e) {
        std::cerr << e.message << std::endl;
        std::exit(e.code);
    }
    return batch ? batch->run(std::cout) : changeOne(settings, std::cout);
}
