// newacct: creates one user account in the directory, or with -batch one per
// row of a file. Errors while reading the parameters go to standard error,
// later ones to standard output; the exit status tells the caller what
// failed.
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <iostream>

#include "account/AccountOptions.h"
#include "account/LocaleText.h"
#include "common/CoreDumps.h"
#include "common/MyException.h"
#include "common/OutputCheck.h"
#include "newacct/BatchRun.h"
#include "newacct/CommandLine.h"
#include "newacct/NewAcct.h"
#include "newacct/RunSettings.h"

namespace {

int createOne(NewAcct& account) {
    // Every run that goes to the directory to write leaves an audit line.
    bool audited = false;
    try {
        account.checkParams();
        audited = !account.dryRun();
        account.ldapBind();
        account.createInDirectory();
    } catch (const MyException& e) {
        account.unbind();
        std::cout << e.message << std::endl;
        if (audited) {
            account.audit(e.code & 0xff, e.message);
        }
        std::exit(e.code);
    }
    account.unbind();
    // The plan goes out only when it is complete.
    std::cout << account.plan();
    if (!account.madePassword().empty()) {
        std::cout << account.madePassword() << '\n';
    }
    const bool delivered = flushed(std::cout);
    if (audited) {
        account.audit(0, "");
    }
    if (!delivered) {
        // Only a plan or a made-up password is written on success.
        std::cerr << outputFailure(account.dryRun()
                                       ? "the plan was not delivered"
                                       : "the password made up for " + account.login() +
                                             " was not delivered (the account was created: "
                                             "give it a new password)")
                  << std::endl;
        return kOutputFailed & 0xff;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // The process holds the administrator's and the users' passwords.
    disableCoreDumps();
    // A directory server that closes its end must fail a write, not kill the run.
    std::signal(SIGPIPE, SIG_IGN);
    std::setlocale(LC_CTYPE, "");
    RunSettings settings;
    try {
        const int status = readRunSettings(settings, argc, argv, std::cin, std::cout, readOptions);
        if (status >= 0) {
            return status;
        }
        if (!settings.batchFile().empty()) {
            BatchRun batch(settings);
            return batch.run(std::cout) & 0xff;
        }
    } catch (const MyException& e) {
        std::cerr << e.message << std::endl;
        std::exit(e.code);
    }
    return createOne(settings.account());
}
