// dropacct -batch.
#include "dropacct/BatchRun.h"

#include <iostream>
#include <sstream>

#include "common/BatchReport.h"
#include "common/MyException.h"
#include "common/OutputCheck.h"
#include "common/Roster.h"
#include "common/RosterLogins.h"
#include "dropacct/DropAcct.h"

namespace {

// The accounts of the roster's rows, in file order; refuses a roster the
// shared rules refuse and a uid the single run would refuse.
std::vector<AccountRemoval> accountsOf(const Roster& roster, const std::string& path) {
    std::vector<AccountRemoval> accounts;
    for (const RosterLogin& login : rosterLogins(roster, path)) {
        try {
            RemovalSettings::checkUid(login.uid);
        } catch (const MyException& e) {
            throw batchFileRefused(path, login.line, e.message);
        }
        accounts.emplace_back(login.uid);
    }
    return accounts;
}

}  // namespace

int runBatch(DropAcct& run, std::ostream& out) {
    const RemovalSettings& settings = run.settings();
    std::vector<AccountRemoval> accounts =
        accountsOf(readRoster(settings.batchFile, settings.encoding), settings.batchFile);
    if (accounts.empty()) {
        return 0;
    }
    std::vector<std::string> uids;
    for (const AccountRemoval& account : accounts) {
        uids.push_back(account.listedAs());
    }
    // A plan is printed only whole; when it is not, the result lines say
    // what failed.
    std::ostringstream held;
    BatchReport report(settings.dryRun ? held : out, uids);
    RemovalProgress progress;
    progress.settled = [&](AccountRemoval& account) {
        const auto& failure = account.failure();
        report.settle(&account - accounts.data(), failure ? failure->code & 0xff : 0,
                      failure ? failure->message : "");
        if (!settings.dryRun) {
            account.audit(settings);
        }
    };
    progress.swept = [&report](size_t swept, size_t total) { report.sweepProgress(swept, total); };
    run.removeAll(accounts, progress);
    if (settings.dryRun) {
        if (report.exitCode() == 0) {
            run.printPlan(out);
        } else {
            out << held.str();
        }
    }
    if (!report.delivered() || !flushed(out)) {
        // The removals are done; a run of the same roster reports each
        // account again.
        std::cerr << outputFailure(settings.dryRun
                                       ? "the plan was not delivered"
                                       : std::to_string(report.undelivered().size()) + " of " +
                                             std::to_string(accounts.size()) +
                                             " result lines were not delivered; run the roster "
                                             "again to see every account's result")
                  << std::endl;
        return kOutputFailed & 0xff;
    }
    return report.exitCode() & 0xff;
}
