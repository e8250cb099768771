// The batch: every row checked, one bind, the engine over all rows.
#include "modacct/ChangeBatch.h"

#include <iostream>
#include <sstream>

#include "account/DirectorySession.h"
#include "common/BatchReport.h"
#include "common/LdifWriter.h"
#include "common/MyException.h"
#include "common/OutputCheck.h"
#include "modacct/ChangeAudit.h"
#include "modacct/ChangeEngine.h"
#include "modacct/ChangeSettings.h"
#include "modacct/DirectoryTrace.h"
#include "modacct/UnnamedGroups.h"

ChangeBatch::ChangeBatch(const ChangeSettings& settings)
    : settings_(settings),
      rows_(readBatchRows(settings.batchFile(), settings.encoding(), ChangeSettings::isColumn)) {}

int ChangeBatch::run(std::ostream& out) {
    try {
        settings_.checkSession();
    } catch (const MyException& e) {
        out << e.message << std::endl;
        return e.code & 0xff;
    }
    std::vector<std::string> uids;
    for (const BatchRow& row : rows_) {
        uids.push_back(row.uid);
    }
    const bool dryRun = settings_.dryRun();
    // A plan goes out whole, before the result lines.
    std::ostringstream planned;
    std::ostringstream results;
    LdifWriter plan(planned);
    BatchReport report(dryRun ? results : out, uids);
    const auto settle = [&](size_t row, const std::string& login, const ChangeResult& result) {
        // A made-up password stored goes on the line, also when the row
        // failed and its password could not be put back.
        report.settle(row, result.status, result.status == 0 ? result.changed : result.message,
                      result.password);
        // A run that would have gone to the directory to write leaves its line.
        if (!dryRun) {
            auditChange(settings_.adminLogin(), login, result);
        }
    };

    std::vector<std::string> passwords(rows_.size());  // made up and stored
    std::vector<AccountChange> requests;
    std::vector<size_t> rowOf;
    UnnamedGroups unnamed;
    for (size_t i = 0; i < rows_.size(); ++i) {
        AccountChange request = settings_.rowRequest(rows_[i]);
        try {
            request.check();
        } catch (const MyException& e) {
            report.settle(i, e.code & 0xff, e.message);
            continue;
        }
        try {
            request.preparePassword();
        } catch (const MyException& e) {
            settle(i, request.login, {e.code & 0xff, e.message, "", ""});
            continue;
        }
        requests.push_back(std::move(request));
        rowOf.push_back(i);
    }
    if (!requests.empty()) {
        DirectorySession session(settings_.directoryParams());
        try {
            bindTraced(session, settings_.debug());
            ChangeEngine engine(session);
            if (dryRun) {
                engine.setPlan(&plan);
            }
            engine.setTrace(engineTrace(settings_.debug()));
            engine.run(requests, [&](size_t k, const ChangeResult& result) {
                settle(rowOf[k], requests[k].login, result);
                passwords[rowOf[k]] = result.password;
            });
            for (size_t k = 0; k < requests.size(); ++k) {
                unnamed.add(requests[k].login, engine.unnamedLeft(k));
            }
        } catch (const MyException& e) {
            for (size_t k = 0; k < requests.size(); ++k) {
                settle(rowOf[k], requests[k].login, {e.code & 0xff, e.message, "", ""});
            }
        }
        session.unbind();
    }
    if (!unnamed.warning().empty()) {
        report.clearProgress();
        std::cerr << unnamed.warning() << std::endl;
    }
    if (dryRun) {
        plan.publish();
        out << planned.str() << results.str();
    }
    if (!report.delivered() || !flushed(out)) {
        std::cerr << outputFailure(dryRun ? "the plan was not delivered"
                                          : lostOutput(report, passwords))
                  << std::endl;
        return kOutputFailed & 0xff;
    }
    return report.exitCode() & 0xff;
}

std::string ChangeBatch::lostOutput(const BatchReport& report,
                                    const std::vector<std::string>& passwords) const {
    const std::string lost =
        report.undeliveredPasswords(passwords, [this](size_t i) { return rows_[i].uid; });
    // The changes were made; a run of the same roster reports each account
    // again, but a password made up is known only from its result line.
    if (!lost.empty()) {
        return "the passwords made up for " + lost +
               " were not delivered (their passwords were changed: give them new ones)";
    }
    return std::to_string(report.undelivered().size()) + " of " + std::to_string(rows_.size()) +
           " result lines were not delivered; run the roster again to see every account's result";
}
