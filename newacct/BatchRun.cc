// The batch file's rows made, and their result lines.
#include "newacct/BatchRun.h"

#include <iostream>
#include <sstream>

#include "account/DirectorySession.h"
#include "common/BatchReport.h"
#include "common/MyException.h"
#include "common/OutputCheck.h"
#include "newacct/CreationBatch.h"
#include "newacct/RunSettings.h"

BatchRun::BatchRun(RunSettings& settings)
    : settings_(settings),
      rows_(readBatchRows(settings.batchFile(), settings.encoding(), NewAcct::isAccountParam)) {}

int BatchRun::run(std::ostream& out) {
    std::vector<std::string> uids;
    for (const BatchRow& row : rows_) {
        uids.push_back(row.uid);
    }
    const bool plan = settings_.account().dryRun();
    // A plan goes out whole, the accounts' changes before the result lines.
    std::ostringstream planned;
    BatchReport report(plan ? planned : out, uids);
    std::vector<std::string> passwords(rows_.size());  // of the accounts made
    CreationBatch batch(settings_, rows_, [&](size_t index, const CreationResult& result) {
        std::string detail = result.message;
        if (result.status == 0) {
            detail = std::to_string(result.uidNumber) +
                     (result.password.empty() ? "" : "\t" + result.password);
            passwords[index] = result.password;
        }
        report.settle(index, result.status, detail);
    });
    batch.prepare();
    if (batch.anyPending()) {
        DirectorySession session(settings_.account().directoryParams());
        try {
            session.bind();
        } catch (const MyException& e) {
            batch.failPending(e);
        }
        if (session.connection()) {
            batch.run(session);
        }
        session.unbind();
    }
    if (plan) {
        out << batch.plans() << planned.str();
    }
    if (!report.delivered() || !flushed(out)) {
        std::cerr << outputFailure(plan ? "the plan was not delivered"
                                        : lostPasswords(report, passwords))
                  << std::endl;
        return kOutputFailed;
    }
    return report.exitCode();
}

std::string BatchRun::lostPasswords(const BatchReport& report,
                                    const std::vector<std::string>& passwords) const {
    // The accounts were made; only what the letters need is missing.
    const std::string lost =
        report.undeliveredPasswords(passwords, [this](size_t i) { return rows_[i].uid; });
    return lost.empty() ? "result lines were not delivered" : undeliveredPasswords(lost);
}
