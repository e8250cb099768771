// The batch's phases: every row checked and its password hashed, the
// directory asked once, then the accounts in row order.
#include "newacct/CreationBatch.h"

#include <algorithm>
#include <atomic>
#include <optional>
#include <set>
#include <system_error>
#include <thread>

#include "account/DirectorySession.h"
#include "common/MyException.h"
#include "ldap/LDAPException.h"
#include "newacct/RunSettings.h"

CreationBatch::CreationBatch(const RunSettings& settings, std::vector<BatchRow> rows, Report report)
    : settings_(settings), rows_(std::move(rows)), report_(std::move(report)) {}

void CreationBatch::settle(size_t index, const CreationResult& result) {
    pending_[index] = false;
    report_(index, result);
    // A run that would have gone to the directory to write leaves its line.
    if (!accounts_[index].dryRun()) {
        accounts_[index].audit(result.status, result.message, auditName_);
    }
}

void CreationBatch::prepare() {
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
            report_(i, {e.code & 0xff, e.message, 0, ""});
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
            settle(i, {failures[i]->code & 0xff, failures[i]->message, 0, ""});
        }
    }
}

bool CreationBatch::anyPending() const {
    return std::find(pending_.begin(), pending_.end(), true) != pending_.end();
}

void CreationBatch::failPending(const MyException& error) {
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (pending_[i]) {
            settle(i, {error.code & 0xff, error.message, 0, ""});
        }
    }
}

bool CreationBatch::readLedger(DirectorySession& session) {
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
            stopMessage_ = "not done: " + session.silence();
        }
        stopped_ = DirectorySession::isLost(e);
        failPending(MyException(-12, stopped_ ? stopMessage_ : "search failed"));
        return false;
    }
}

bool CreationBatch::create(size_t index, DirectorySession& session) {
    NewAcct& account = accounts_[index];
    account.useSession(session, &ledger_);
    try {
        account.createInDirectory();
    } catch (const MyException& e) {
        const bool lost = !session.answers();
        if (session.silent()) {
            stopMessage_ = "not done: " + session.silence();
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
        settle(index, {e.code & 0xff, message, 0, ""});
        return !lost;
    }
    ledger_.holdNumber(account.uidNumber());
    ledger_.holdAddresses(account.login(), account.aliases());
    made_[index] = true;
    settle(index, {0, "", account.uidNumber(), account.madePassword()});
    return true;
}

void CreationBatch::run(DirectorySession& session) {
    if (!readLedger(session)) {
        return;
    }
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (pending_[i] && !create(i, session)) {
            stopped_ = true;
            break;
        }
    }
    failPending(MyException(-12, stopMessage_));
}

std::string CreationBatch::plans() const {
    std::string text;
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (made_[i]) {
            text += accounts_[i].plan();
        }
    }
    return text;
}

std::string undeliveredPasswords(const std::string& logins) {
    return "the passwords made up for " + logins +
           " were not delivered (the accounts were created: give them new passwords)";
}
