// The phases of a sync.
#include "syncacct/SyncRun.h"

#include <functional>
#include <optional>
#include <ostream>
#include <sstream>

#include "account/DerivedValues.h"
#include "account/DirectorySession.h"
#include "common/BatchReport.h"
#include "common/LdifWriter.h"
#include "common/MyException.h"
#include "common/OutputCheck.h"
#include "dropacct/DropAcct.h"
#include "ldap/LDAPException.h"
#include "modacct/ChangeAudit.h"
#include "modacct/ChangeEngine.h"
#include "modacct/DirectoryTrace.h"
#include "newacct/CreationBatch.h"
#include "syncacct/ScopedClasses.h"
#include "syncacct/SyncPlan.h"
#include "syncacct/SyncSettings.h"

namespace {

const char* const kProgram = "syncacct";

// A failed read of the school, before anything was written.
MyException readFailure(const DirectorySession& session) {
    return MyException(-12, session.silent() ? "search failed: " + session.silence()
                                             : std::string("search failed"));
}

}  // namespace

SyncRun::SyncRun(const SyncSettings& settings)
    : settings_(settings),
      rows_(readBatchRows(settings.batchFile(), settings.encoding(), NewAcct::isAccountParam)) {}

int SyncRun::run(std::ostream& out, std::ostream& err) {
    const bool dryRun = settings_.dryRun();
    const bool debug = settings_.debug();
    const auto trace = [&err, debug](const std::string& line) {
        if (debug) {
            err << kProgram << ": " << line << std::endl;
        }
    };
    DirectorySession session(settings_.directoryParams());
    SyncPlan plan(settings_, rows_);
    try {
        bindTraced(session, debug, kProgram);
        const ScopedClasses classes =
            readScopedClasses(*session.connection(), session.params().baseDN, settings_.scope());
        trace(std::to_string(classes.names.size()) + " classes in scope, " +
              std::to_string(classes.members.size()) + " members; " + std::to_string(rows_.size()) +
              " roster rows");
        plan.request(classes.members);
    } catch (const MyException& e) {
        err << e.message << std::endl;
        return e.code & 0xff;
    } catch (const LDAPException&) {
        const MyException failure = readFailure(session);
        err << failure.message << std::endl;
        return failure.code & 0xff;
    }

    // The change engines read and plan every account first: the summary and
    // the guard know the whole sync before anything is written.
    ChangeEngine changes(session);
    ChangeEngine locks(session);
    std::ostringstream changePlan;
    std::ostringstream lockPlan;
    LdifWriter changeLdif(changePlan);
    LdifWriter lockLdif(lockPlan);
    if (dryRun) {
        changes.setPlan(&changeLdif);
        locks.setPlan(&lockLdif);
    }
    // A roster names most of a school's accounts.
    changes.setReadWhole(true);
    changes.setTrace(engineTrace(debug));
    locks.setTrace(engineTrace(debug));
    changes.prepare(plan.rowRequests());
    locks.prepare(plan.leaverRequests());
    for (const ChangeEngine* engine : {&changes, &locks}) {
        if (engine->readFailure()) {
            err << engine->readFailure()->message << std::endl;
            return engine->readFailure()->code & 0xff;
        }
    }
    plan.decide(changes, locks, todayDayNumber());
    const std::optional<MyException> refused = plan.guard();
    if (!dryRun) {
        err << kProgram << ": " << plan.summary() << std::endl;
        if (refused) {
            err << refused->message << std::endl;
            return refused->code & 0xff;
        }
    }

    const std::vector<SyncItem>& items = plan.items();
    std::vector<std::string> lines;
    for (const SyncItem& item : items) {
        lines.push_back(item.uid + "\t" + actionName(item.action));
    }
    // A plan goes out whole, before the result lines.
    std::ostringstream results;
    BatchReport report(dryRun ? results : out, lines);
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i].failure) {
            report.settle(i, items[i].failure->code & 0xff, items[i].failure->message);
        }
    }
    std::vector<std::string> passwords(items.size());  // made up and stored
    CreationBatch creation(settings_.creation(), plan.creationRows(),
                           [&](size_t k, const CreationResult& result) {
                               const size_t item = plan.creationItem(k);
                               if (result.status == 0 && !dryRun) {
                                   passwords[item] = result.password;
                               }
                               report.settle(item, result.status,
                                             result.status == 0 ? passwords[item] : result.message);
                           });
    creation.setAuditName(kProgram);
    creation.prepare();
    if (creation.anyPending()) {
        creation.run(session);
    }
    // A lost server stops the sync: nothing after it is tried.
    std::optional<MyException> stop;
    if (creation.stopped()) {
        stop = MyException(-12, creation.stopMessage());
    }
    const auto write = [&](ChangeEngine& engine, const std::vector<AccountChange>& requests,
                           const std::function<size_t(size_t)>& itemOf) {
        if (stop) {
            return;
        }
        engine.write([&](size_t k, const ChangeResult& result) {
            report.settle(itemOf(k), result.status, result.status == 0 ? "" : result.message);
            if (!dryRun) {
                auditChange(settings_.adminLogin(), requests[k].login, result, kProgram);
            }
        });
        if (engine.lost()) {
            stop = engine.notDone();
        }
    };
    write(changes, plan.rowRequests(), [&plan](size_t k) { return plan.rowItem(k); });
    write(locks, plan.leaverRequests(), [&plan](size_t k) { return plan.leaverItem(k); });
    session.unbind();

    std::ostringstream removalPlan;
    const auto remove = [&](const RemovalSettings& settings, const std::vector<size_t>& leavers) {
        if (stop || leavers.empty()) {
            return;
        }
        DropAcct removal(settings);
        std::vector<AccountRemoval> accounts;
        for (const size_t leaver : leavers) {
            accounts.emplace_back(items[plan.leaverItem(leaver)].uid);
        }
        bool removable = true;
        RemovalProgress progress;
        progress.settled = [&](AccountRemoval& account) {
            const auto& failure = account.failure();
            removable = removable && !failure;
            report.settle(plan.leaverItem(leavers[&account - accounts.data()]),
                          failure ? failure->code & 0xff : 0, failure ? failure->message : "");
            if (!dryRun) {
                account.audit(removal.settings(), kProgram);
            }
        };
        progress.swept = [&report](size_t swept, size_t total) {
            report.sweepProgress(swept, total);
        };
        removal.removeAll(accounts, progress);
        // As dropacct -batch: a removal plan only whole.
        if (removable) {
            removal.printPlan(removalPlan);
        }
    };
    remove(settings_.removal(), plan.removals());
    // What a removal cut short left: the mail went before the entry, and
    // the mail of an entry deleted by other means is not the sync's.
    RemovalSettings referencesOnly = settings_.removal();
    referencesOnly.sieve = referencesOnly.imap = false;
    remove(referencesOnly, plan.leftovers());
    if (stop) {
        report.settleRest(stop->code & 0xff, stop->message);
    }

    if (dryRun) {
        out << "# " << kProgram
            << " -dryrun: what the sync would change, in order; nothing was changed\n# "
            << plan.summary() << "\n";
        changeLdif.publish();
        lockLdif.publish();
        out << creation.plans() << changePlan.str() << lockPlan.str() << removalPlan.str()
            << results.str();
    }
    if (!report.delivered() || !flushed(out)) {
        const std::string lost =
            report.undeliveredPasswords(passwords, [&items](size_t i) { return items[i].uid; });
        err << outputFailure(dryRun          ? "the plan was not delivered"
                             : !lost.empty() ? undeliveredPasswords(lost)
                                             : std::to_string(report.undelivered().size()) +
                                                   " of " + std::to_string(items.size()) +
                                                   " result lines were not delivered (the sync "
                                                   "was made: the same roster run again shows "
                                                   "what is left to do)")
            << std::endl;
        return kOutputFailed & 0xff;
    }
    if (refused) {
        // A plan of a sync that would be refused.
        err << refused->message << std::endl;
        return refused->code & 0xff;
    }
    return report.exitCode() & 0xff;
}
