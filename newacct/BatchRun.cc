// The batch's phases: every row checked and its password hashed, one bind,
// the directory asked once, then the accounts in file order.
#include "newacct/BatchRun.h"

#include <algorithm>
#include <atomic>
#include <iostream>
#include <optional>
#include <set>
#include <sstream>
#include <system_error>
#include <thread>

#include "account/DirectorySession.h"
#include "common/BatchReport.h"
#include "common/MyException.h"
#include "common/OutputCheck.h"
#include "ldap/LDAPException.h"
#include "newacct/RunSettings.h"

BatchRun::BatchRun(RunSettings& settings)
    : settings_(settings),
      rows_(readBatchRows(settings.batchFile(), settings.encoding(), NewAcct::isAccountParam)) {}

void BatchRun::settle(BatchReport& report, size_t index, int status, const std::string& detail) {
    pending_[index] = false;
    report.settle(index, status, detail);
    // A run that would have gone to the directory to write leaves its line.
    if (!accounts_[index].dryRun()) {
        accounts_[index].audit(status, status == 0 ? "" : detail);
    }
}

void BatchRun::prepare(BatchReport& report) {
    accounts_.resize(rows_.size());
    pending_.assign(rows_.size(), false);
    made_.assign(rows_.size(), false);
    for (size_t i = 0; i < rows_.size(); ++i) {
        NewAcct& account = accounts_[i];
        std::set<std::string> overridden;
        for (const auto& cell : rows_[i].cells) {
            overridden.insert(cell.first);
        }
        // Shared parameters and site defaults are the same for every row and
        // were read once already: they fail here only if the files changed.
        settings_.replay(account, overridden);
        for (const auto& [name, value] : rows_[i].cells) {
            account.addCell(name, value);
        }
        account.applySiteDefaults();
        try {
            account.checkParams();
            pending_[i] = true;
        } catch (const MyException& e) {
            report.settle(i, e.code & 0xff, e.message);
        }
    }
    // Hashing is the costliest step of an account that needs no directory.
    std::vector<size_t> toHash;
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (pending_[i]) {
            toHash.push_back(i);
        }
    }
    std::vector<std::optional<MyException>> failures(rows_.size());
    std::atomic<size_t> next{0};
    const auto hash = [&] {
        for (size_t k; (k = next++) < toHash.size();) {
            try {
                accounts_[toHash[k]].preparePassword();
            } catch (const MyException& e) {
                failures[toHash[k]] = e;
            }
        }
    };
    // This thread hashes too, so a system that grants fewer threads (or
    // none) only makes the batch slower.
    const unsigned workers = std::max(1u, std::min(std::thread::hardware_concurrency(), 8u));
    std::vector<std::thread> threads;
    for (unsigned w = 1; w < workers; ++w) {
        try {
            threads.emplace_back(hash);
        } catch (const std::system_error&) {
            break;
        }
    }
    hash();
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (failures[i]) {
            settle(report, i, failures[i]->code & 0xff, failures[i]->message);
        }
    }
}

bool BatchRun::readLedger(DirectorySession& session, BatchReport& report) {
    std::vector<std::string> addresses;
    std::set<std::string> classes;
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (pending_[i]) {
            const std::vector<std::string> claimed = accounts_[i].claimedAddresses();
            addresses.insert(addresses.end(), claimed.begin(), claimed.end());
            const std::vector<std::string> names = accounts_[i].classes();
            classes.insert(names.begin(), names.end());
        }
    }
    std::sort(addresses.begin(), addresses.end());
    addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());
    const std::string& baseDN = session.params().baseDN;
    try {
        ledger_.readNumbers(*session.connection(), baseDN);
        ledger_.readHolders(*session.connection(), baseDN, addresses);
        ledger_.readGroups(*session.connection(), baseDN, classes);
        return true;
    } catch (const LDAPException& e) {
        if (session.silent()) {
            stopped_ = "not done: " + session.silence();
        }
        const std::string message = DirectorySession::isLost(e) ? stopped_ : "search failed";
        for (size_t i = 0; i < rows_.size(); ++i) {
            if (pending_[i]) {
                settle(report, i, -12 & 0xff, message);
            }
        }
        return false;
    }
}

bool BatchRun::create(size_t index, DirectorySession& session, BatchReport& report) {
    NewAcct& account = accounts_[index];
    account.useSession(session, &ledger_);
    try {
        account.createInDirectory();
    } catch (const MyException& e) {
        const bool lost = !session.answers();
        if (session.silent()) {
            stopped_ = "not done: " + session.silence();
        }
        std::string message = e.message;
        if (account.wroteSomething()) {
            try {
                if (lost) {
                    session.rebind();
                }
                account.takeBack();
            } catch (const MyException& left) {
                message += "; " + left.message;
            }
        }
        settle(report, index, e.code & 0xff, message);
        return !lost;
    }
    ledger_.holdNumber(account.uidNumber());
    ledger_.holdAddresses(account.login(), account.aliases());
    std::string detail = std::to_string(account.uidNumber());
    if (!account.madePassword().empty()) {
        detail += "\t" + account.madePassword();
    }
    settle(report, index, 0, detail);
    made_[index] = true;
    return true;
}

int BatchRun::run(std::ostream& out) {
    std::vector<std::string> uids;
    for (const BatchRow& row : rows_) {
        uids.push_back(row.uid);
    }
    const bool plan = settings_.account().dryRun();
    // A plan goes out whole, the accounts' changes before the result lines.
    std::ostringstream planned;
    BatchReport report(plan ? planned : out, uids);
    prepare(report);
    if (std::find(pending_.begin(), pending_.end(), true) != pending_.end()) {
        DirectorySession session(settings_.account().directoryParams());
        try {
            session.bind();
        } catch (const MyException& e) {
            for (size_t i = 0; i < rows_.size(); ++i) {
                if (pending_[i]) {
                    settle(report, i, e.code & 0xff, e.message);
                }
            }
        }
        if (session.connection() && readLedger(session, report)) {
            for (size_t i = 0; i < rows_.size(); ++i) {
                if (pending_[i] && !create(i, session, report)) {
                    break;
                }
            }
            for (size_t i = 0; i < rows_.size(); ++i) {
                if (pending_[i]) {
                    settle(report, i, -12 & 0xff, stopped_);
                }
            }
        }
        session.unbind();
    }
    if (plan) {
        for (size_t i = 0; i < rows_.size(); ++i) {
            if (made_[i]) {
                out << accounts_[i].plan();
            }
        }
        out << planned.str();
    }
    if (!report.delivered() || !flushed(out)) {
        std::cerr << outputFailure(plan ? "the plan was not delivered" : lostPasswords(report))
                  << std::endl;
        return kOutputFailed;
    }
    return report.exitCode();
}

std::string BatchRun::lostPasswords(const BatchReport& report) const {
    std::string lost;
    for (const size_t i : report.undelivered()) {
        if (made_[i] && !accounts_[i].madePassword().empty()) {
            lost += (lost.empty() ? "" : ", ") + rows_[i].uid;
        }
    }
    // The accounts were made; only what the letters need is missing.
    return lost.empty() ? "result lines were not delivered"
                        : "the passwords made up for " + lost +
                              " were not delivered (the accounts were created: give them new "
                              "passwords)";
}
