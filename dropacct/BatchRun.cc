// dropacct -batch.
#include "dropacct/BatchRun.h"

#include <map>
#include <sstream>

#include "common/BatchReport.h"
#include "common/MyException.h"
#include "common/Roster.h"
#include "dropacct/DropAcct.h"

namespace {

// The uid of every row, in file order; refuses a roster without a uid
// column, a uid the single run would refuse and a uid listed twice.
std::vector<AccountRemoval> accountsOf(const Roster& roster, const std::string& path) {
    const std::string refusing = "refusing batch file " + path + ": ";
    const std::vector<size_t> columns = roster.columns("uid");
    if (columns.size() != 1) {
        throw MyException(kBatchRefused, refusing + (columns.empty() ? "it has no uid column"
                                                                     : "it has two uid columns"));
    }
    std::vector<AccountRemoval> accounts;
    std::map<std::string, size_t> lines;
    for (const Roster::Row& row : roster.rows()) {
        const std::string& uid = row.cells[columns.front()];
        const std::string where = refusing + "line " + std::to_string(row.line) + ": ";
        try {
            RemovalSettings::checkUid(uid);
        } catch (const MyException& e) {
            throw MyException(kBatchRefused, where + (uid.empty() ? "no uid" : e.message));
        }
        const auto [first, added] = lines.emplace(uid, row.line);
        if (!added) {
            throw MyException(kBatchRefused, where + "uid " + uid +
                                                 " is listed twice (first on line " +
                                                 std::to_string(first->second) + ")");
        }
        accounts.emplace_back(uid);
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
        uids.push_back(account.uid());
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
    return report.exitCode() & 0xff;
}
