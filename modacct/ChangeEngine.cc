// The phases of a change run: read, plan (in the requests' order), write
// the user entries, guard the new addresses against concurrent runs, write
// the groups, write the cards, put back what failed accounts wrote, report.
#include "modacct/ChangeEngine.h"

#include <ldap.h>
#include <strings.h>

#include <algorithm>
#include <set>
#include <thread>

#include "account/AccountLock.h"
#include "account/AccountNames.h"
#include "account/AddressHolders.h"
#include "account/ConcurrentRuns.h"
#include "account/DerivedValues.h"
#include "account/DirectorySession.h"
#include "account/EntryChanges.h"
#include "common/LdapErrorText.h"
#include "ldap/LDAPConnection.h"
#include "ldap/LDAPException.h"
#include "modacct/AccountReads.h"
#include "modacct/GroupChanges.h"
#include "modacct/WriteWindow.h"

namespace {

// The modifications by operation and attribute; values only of memberUid
// (logins, never a password), and of few.
std::string describe(const LDAPModList& changes) {
    static const char* const kOperations[] = {"add", "delete", "replace"};
    std::string text;
    for (const LDAPModification& change : changes) {
        const LDAPAttribute& attribute = change.getAttribute();
        text += (text.empty() ? "" : ", ") + std::string(kOperations[change.getOperation()]) + " " +
                attribute.getName();
        if (attribute.getName() == "memberUid") {
            const std::vector<std::string>& values = attribute.getValues();
            if (values.size() > 3) {
                text += " (" + std::to_string(values.size()) + " values)";
            } else {
                for (const std::string& value : values) {
                    text += " " + value;
                }
            }
        }
    }
    return text;
}

// What a plan shows of the changes: a password only as its scheme (and
// lock mark), as newacct's plan shows it, and so as a replace (a hidden
// value cannot be named in a delete).
LDAPModList shownInPlan(const LDAPModList& changes) {
    LDAPModList shown;
    for (const LDAPModification& change : changes) {
        const LDAPAttribute& attribute = change.getAttribute();
        if (strcasecmp(attribute.getName().c_str(), "userPassword") != 0) {
            shown.addModification(change);
            continue;
        }
        if (change.getOperation() == LDAPModification::OP_DELETE) {
            continue;
        }
        LDAPAttribute hidden(attribute.getName());
        for (const std::string& value : attribute.getValues()) {
            hidden.addValue(value.substr(0, value.find('}') + 1) +
                            (isLockedPassword(value) ? "!*" : "*"));
        }
        shown.addModification(LDAPModification(hidden, LDAPModification::OP_REPLACE));
    }
    return shown;
}

void addOnce(std::vector<std::string>& names, const std::vector<std::string>& more) {
    for (const std::string& name : more) {
        if (std::find(names.begin(), names.end(), name) == names.end()) {
            names.push_back(name);
        }
    }
}

std::string joinedWithCommas(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        text += (text.empty() ? "" : ",") + name;
    }
    return text;
}

}  // namespace

ChangeEngine::ChangeEngine(DirectorySession& session) : session_(session) {}

ChangeEngine::~ChangeEngine() = default;

void ChangeEngine::trace(const std::string& line) const {
    if (trace_) {
        trace_("modacct: " + line);
    }
}

bool ChangeEngine::going(const Account& account) const {
    return !account.settled && !account.error && !account.conflict && !account.unchanged &&
           !account.leftOut;
}

void ChangeEngine::settle(Account& account, const ChangeResult& result) {
    account.settled = true;
    report_(static_cast<size_t>(&account - accounts_.data()), result);
}

ChangeResult ChangeEngine::success(const Account& account) const {
    ChangeResult result;
    result.changed =
        account.changed.empty() ? account.plan->changed() : joinedWithCommas(account.changed);
    const bool passwordChanged = std::find(account.changed.begin(), account.changed.end(),
                                           "password") != account.changed.end();
    if (!plan_ && passwordChanged) {
        result.password = account.request->madePassword;
    }
    return result;
}

void ChangeEngine::fail(Account& account, const MyException& error) {
    if (!account.error) {
        account.error = error;
    }
}

void ChangeEngine::wrote(Account& account) {
    addOnce(account.changed, account.plan->kinds());
    addOnce(account.unnamedLeft, account.plan->unnamedLeaves());
}

MyException ChangeEngine::notDone() const {
    return MyException(
        -12, "not done: " + (session_.silent() ? session_.silence()
                                               : std::string("the connection to the directory "
                                                             "was lost")));
}

void ChangeEngine::failWrite(Account& account, const LDAPException& error,
                             const std::string& what) {
    if (DirectorySession::isLost(error)) {
        lost_ = true;
        fail(account, notDone());
    } else {
        fail(account, MyException(-14, what + ": " + ldapErrorText(error)));
    }
}

void ChangeEngine::refused(Account& account, const LDAPException& error, const std::string& what,
                           bool card) {
    const int code = error.getResultCode();
    const bool changed = refusedAsChanged(code) ||
                         (card && (code == LDAP_ALREADY_EXISTS || code == LDAP_NO_SUCH_OBJECT));
    if (DirectorySession::isLost(error) || !changed) {
        failWrite(account, error, what);
        return;
    }
    trace(account.request->login + ": " + what + " (" + ldapErrorText(error) +
          "): it may have changed since it was read");
    Conflict conflict{MyException(-14, what + ": " + ldapErrorText(error)), std::nullopt, card};
    if (card) {
        conflict.seen = account.stored.contact;
    } else {
        conflict.seen = account.stored.entry;
    }
    account.conflict = conflict;
}

void ChangeEngine::run(const std::vector<AccountChange>& requests, const Report& report) {
    prepare(requests);
    write(report);
}

void ChangeEngine::prepare(const std::vector<AccountChange>& requests) {
    accounts_.clear();
    accounts_.reserve(requests.size());
    for (const AccountChange& request : requests) {
        accounts_.emplace_back();
        accounts_.back().request = &request;
    }
    round_.clear();
    for (Account& account : accounts_) {
        round_.push_back(&account);
    }
    readFailure_.reset();
    lost_ = false;
    if (!session_.connection()) {
        readFailure_ = notDone();
        for (Account& account : accounts_) {
            fail(account, *readFailure_);
        }
        return;
    }
    readAndPlan(round_, false);
}

bool ChangeEngine::readAndPlan(const Round& round, bool again) {
    reads_.emplace(*session_.connection(), session_.params().baseDN);
    if (readWhole_ && !again) {
        reads_->readWhole();
    }
    try {
        read(round, *reads_);
        plan(round, *reads_, again);
        return true;
    } catch (const LDAPException& e) {
        lost_ = lost_ || DirectorySession::isLost(e);
        const MyException failure =
            DirectorySession::isLost(e) ? notDone() : MyException(-12, "search failed");
        if (!again) {
            readFailure_ = failure;
        }
        for (Account* account : round) {
            fail(*account, failure);
        }
        return false;
    }
}

ChangeEngine::Outcome ChangeEngine::outcome(size_t index) const {
    const Account& account = accounts_.at(index);
    return {account.found ? &account.stored : nullptr, account.plan ? &*account.plan : nullptr,
            account.error ? &*account.error : nullptr};
}

void ChangeEngine::leaveOut(size_t index) {
    accounts_.at(index).leftOut = true;
}

void ChangeEngine::write(const Report& report) {
    report_ = report;
    // The accounts with nothing to change, as soon as that is known.
    settleUnchanged(round_);
    if (readFailure_) {
        settleAll();
        return;
    }
    size_t sent = 0;
    for (int attempt = 1; !round_.empty(); ++attempt) {
        if (attempt > 1) {
            // Two runs that met meet again only by chance.
            pauseBeforeAttempt(attempt - 1);
            if (!readAndPlan(round_, true)) {
                break;
            }
            settleUnchanged(round_);
        }
        WriteWindow window(plan_ ? nullptr : session_.connection(), plan_);
        writeUsers(round_, window);
        guardAddresses(round_);
        writeGroups(round_, window, *reads_);
        writeContacts(round_, window);
        sent += window.sent();
        round_ = nextRound(round_);
    }
    round_.clear();
    if (!plan_) {
        trace("writes sent: " + std::to_string(sent));
    }
    putBackFailed();
    settleAll();
}

void ChangeEngine::settleUnchanged(const Round& round) {
    for (Account* account : round) {
        if (account->unchanged && !account->leftOut && !account->settled && !account->error) {
            settle(*account, success(*account));
        }
    }
}

std::vector<std::string> ChangeEngine::unnamedLeft(size_t index) const {
    const Account& account = accounts_.at(index);
    return account.error ? std::vector<std::string>() : account.unnamedLeft;
}

void ChangeEngine::read(const Round& round, AccountReads& reads) {
    std::vector<std::string> logins;
    StringList attributes;
    std::set<std::string> named;
    for (const Account* account : round) {
        logins.push_back(account->request->login);
        for (const std::string& name : ChangePlan::attributesRead(*account->request)) {
            if (named.insert(name).second) {
                attributes.add(name);
            }
        }
    }
    std::map<std::string, StoredAccount> stored = reads.accounts(logins, attributes);
    std::vector<StoredAccount*> cards;
    for (Account* account : round) {
        const auto found = stored.find(account->request->login);
        if (found == stored.end()) {
            fail(*account, MyException(kNoSuchAccount,
                                       "no such account: " + userDn(account->request->login,
                                                                    session_.params().baseDN)));
            continue;
        }
        account->stored = std::move(found->second);
        account->found = true;
        // Read even when the entry stays as it is: a run cut short after
        // the entry's write left its card behind, and the next run mends it.
        if (ChangePlan::needsContact(*account->request, account->stored)) {
            cards.push_back(&account->stored);
        }
    }
    if (!cards.empty()) {
        reads.contacts(cards);
    }
    trace("read " + std::to_string(stored.size()) + " of " + std::to_string(logins.size()) +
          " accounts in " + std::to_string(reads.searches()) + " searches");
    for (Account* account : round) {
        if (account->error || !account->conflict) {
            continue;
        }
        // Refused, and yet as it was read: the refusal was not a conflict.
        const Conflict& conflict = *account->conflict;
        const std::optional<LDAPAttributeList> now =
            conflict.card ? account->stored.contact
                          : std::optional<LDAPAttributeList>(account->stored.entry);
        const bool unchanged = now.has_value() == conflict.seen.has_value() &&
                               (!now || sameValues(*now, *conflict.seen));
        if (conflict.refusal && unchanged) {
            fail(*account, *conflict.refusal);
        }
        account->conflict.reset();
    }
}

bool ChangeEngine::heldAfterPause(const std::string& claim, const std::string& login) {
    std::this_thread::sleep_for(kSettlePause);
    return addressHeldByAnother(*session_.connection(), session_.params().baseDN, claim, login);
}

void ChangeEngine::plan(const Round& round, AccountReads& reads, bool again) {
    const std::string& baseDN = session_.params().baseDN;
    const int today = todayDayNumber();
    std::vector<std::string> claims;
    std::set<std::string> joins;
    for (Account* account : round) {
        if (!going(*account)) {
            continue;
        }
        try {
            account->plan.emplace(*account->request, account->stored, baseDN, today);
        } catch (const MyException& e) {
            fail(*account, e);
            continue;
        }
        claims.insert(claims.end(), account->plan->claims().begin(), account->plan->claims().end());
        joins.insert(account->plan->joins().begin(), account->plan->joins().end());
    }
    LDAPConnection& connection = *session_.connection();
    // Who holds what now: a round after a conflict asks again.
    ledger_ = BatchLedger();
    if (!claims.empty()) {
        ledger_.readHolders(connection, baseDN, claims);
    }
    reads.classGroups(joins);
    // In the requests' order, as single runs one after the other would go.
    for (Account* account : round) {
        if (!going(*account)) {
            continue;
        }
        const ChangePlan& plan = *account->plan;
        for (const std::string& name : plan.joins()) {
            if (!reads.hasGroup(name)) {
                fail(*account,
                     MyException(-18, "class " + name + " has no group " +
                                          classGroupDn(name, baseDN) + " in the directory"));
                break;
            }
        }
        for (const std::string& claim : plan.claims()) {
            if (going(*account) && !ledger_.addressFree(claim, plan.login()) &&
                (!again || heldAfterPause(claim, plan.login()))) {
                fail(*account, MyException(-16, plan.claimRefusal(claim)));
            }
        }
        if (!going(*account)) {
            continue;
        }
        for (const std::string& alias : plan.aliasClaims()) {
            ledger_.holdAddress(plan.login(), alias);
        }
        for (const std::string& alias : plan.releases()) {
            ledger_.releaseAddress(plan.login(), alias);
        }
        trace(plan.login() + ": " + plan.changed());
        account->unchanged = plan.empty();
    }
}

void ChangeEngine::writeUsers(const Round& round, WriteWindow& window) {
    for (Account* account : round) {
        if (!going(*account) || account->plan->userChanges().size() == 0) {
            continue;
        }
        const ChangePlan& plan = *account->plan;
        trace("modify " + plan.userDn() + ": " + describe(plan.userChanges()));
        window.modify(plan.userDn(), plan_ ? shownInPlan(plan.userChanges()) : plan.userChanges(),
                      [this, account](const LDAPException* e) {
                          const ChangePlan& written = *account->plan;
                          if (!e || DirectorySession::isLost(*e)) {
                              account->written.modified(written.userDn(), written.userBefore(),
                                                        written.userAfter(), written.userDn());
                          }
                          if (!e) {
                              wrote(*account);
                          } else {
                              refused(*account, *e, "failed to change entry " + written.userDn(),
                                      false);
                          }
                      });
    }
    window.drain();
}

bool ChangeEngine::othersHold(const Account& account) {
    const ChangePlan& plan = *account.plan;
    std::unique_ptr<LDAPSearchResults> results = session_.connection()->search(
        session_.params().baseDN, LDAPConnection::SEARCH_ONE,
        otherAccountsFilter(plan.login(), addressHolderTerms(plan.claims())), StringList{"1.1"});
    bool held = false;
    while (results->getNext()) {
        held = true;
    }
    return held;
}

void ChangeEngine::guardAddresses(const Round& round) {
    // The checks before the write race with other runs: once written, the
    // new addresses are looked for again. Of two writes of one address the
    // later one always sees the earlier, so at most one of them stays; the
    // run that sees another holder takes its write back and goes again.
    if (plan_) {
        return;
    }
    for (Account* account : round) {
        if (!going(*account) || account->plan->claims().empty()) {
            continue;
        }
        const ChangePlan& plan = *account->plan;
        try {
            if (!othersHold(*account)) {
                continue;
            }
        } catch (const LDAPException& e) {
            if (DirectorySession::isLost(e)) {
                lost_ = true;
                fail(*account, notDone());
            } else {
                fail(*account, MyException(-12, "search failed"));
            }
            continue;
        }
        trace(plan.login() + ": an address was taken meanwhile; putting the entry back");
        try {
            account->written.takeBackNewest(*session_.connection());
            account->conflict = Conflict{};
        } catch (const LDAPException& e) {
            failWrite(*account, e, "failed to put back entry " + plan.userDn());
        }
    }
}

void ChangeEngine::writeGroups(const Round& round, WriteWindow& window, const AccountReads& reads) {
    GroupChanges changes;
    for (Account* account : round) {
        if (!going(*account)) {
            continue;
        }
        const size_t i = static_cast<size_t>(account - accounts_.data());
        const ChangePlan& plan = *account->plan;
        for (const std::string& name : plan.leaves()) {
            // Each value that names the login goes, as it is spelled; a
            // class is left only as the group read found it.
            for (const std::string& value : account->stored.memberValues.at(name)) {
                changes.leave(reads.groupDn(name), name, i, value);
            }
        }
        for (const std::string& name : plan.joins()) {
            changes.join(reads.groupDn(name), name, i, plan.login());
        }
    }
    const auto record = [this](const GroupChanges::Group& group, const GroupChanges::Member& member,
                               bool joining) {
        LDAPAttributeList listed;
        listed.addAttribute(LDAPAttribute("memberUid", member.value));
        accounts_[member.account].written.modified(group.dn, joining ? LDAPAttributeList() : listed,
                                                   joining ? listed : LDAPAttributeList(),
                                                   "memberUid " + member.value + " in " + group.dn);
    };
    std::vector<const GroupChanges::Group*> refused;
    for (const GroupChanges::Group& group : changes.groups()) {
        const LDAPModList modify = group.changes();
        trace("modify " + group.dn + ": " + describe(modify));
        window.modify(group.dn, modify, [&](const LDAPException* e) {
            if (e && !DirectorySession::isLost(*e)) {
                refused.push_back(&group);
                return;
            }
            for (bool joining : {false, true}) {
                for (const GroupChanges::Member& member : joining ? group.joining : group.leaving) {
                    record(group, member, joining);
                    if (e) {
                        failWrite(accounts_[member.account], *e, "");
                    } else {
                        wrote(accounts_[member.account]);
                    }
                }
            }
        });
    }
    window.drain();
    // A group refused the change of all: each member's own change alone
    // tells whose it was. A member already gone, or there already, is as
    // the account wants it (another run made it so).
    for (const GroupChanges::Group* group : refused) {
        for (bool joining : {false, true}) {
            for (const GroupChanges::Member& member : joining ? group->joining : group->leaving) {
                Account& account = accounts_[member.account];
                if (!going(account)) {
                    continue;
                }
                const LDAPModList own = GroupChanges::memberChange(member.value, joining);
                trace("modify " + group->dn + ": " + describe(own));
                try {
                    session_.connection()->modify(group->dn, &own);
                    record(*group, member, joining);
                    wrote(account);
                } catch (const LDAPException& e) {
                    const int code = e.getResultCode();
                    if (code == (joining ? LDAP_TYPE_OR_VALUE_EXISTS : LDAP_NO_SUCH_ATTRIBUTE)) {
                        trace(member.value + (joining ? ": in " : ": not in ") + group->dn +
                              " already");
                        continue;
                    }
                    failWrite(account, e,
                              joining ? "failed to add " + member.value + " to class " + group->name
                                      : "failed to remove " + member.value + " from class " +
                                            group->name);
                }
            }
        }
    }
}

void ChangeEngine::writeContacts(const Round& round, WriteWindow& window) {
    for (Account* account : round) {
        if (!going(*account)) {
            continue;
        }
        const ChangePlan& plan = *account->plan;
        const std::string& dn = plan.contactDn();
        if (plan.contactAdd()) {
            trace("add " + dn);
            window.add(dn, *plan.contactAdd(), [this, account, dn](const LDAPException* e) {
                if (!e || DirectorySession::isLost(*e)) {
                    account->written.added(dn);
                }
                if (!e) {
                    wrote(*account);
                } else {
                    refused(*account, *e, "failed to add contact " + dn, true);
                }
            });
        } else if (plan.contactChanges().size() > 0) {
            trace("modify " + dn + ": " + describe(plan.contactChanges()));
            window.modify(dn, plan.contactChanges(), [this, account, dn](const LDAPException* e) {
                if (!e || DirectorySession::isLost(*e)) {
                    account->written.modified(dn, account->plan->contactBefore(),
                                              account->plan->contactAfter(), dn);
                }
                if (!e) {
                    wrote(*account);
                } else {
                    refused(*account, *e, "failed to change contact " + dn, true);
                }
            });
        }
    }
    window.drain();
}

ChangeEngine::Round ChangeEngine::nextRound(const Round& round) {
    Round next;
    for (Account* account : round) {
        if (!account->conflict || account->error) {
            continue;
        }
        const std::string& login = account->request->login;
        if (lost_) {
            fail(*account, notDone());
        } else if (++account->attempts == kMaxAttempts) {
            const std::string what = account->conflict->refusal
                                         ? "change the account " + login
                                         : "settle the addresses of " + login;
            fail(*account,
                 MyException(-13, "could not " + what + " among concurrent runs after " +
                                      std::to_string(kMaxAttempts) + " attempts" +
                                      (account->written.empty() ? "; nothing was written" : "")));
        } else {
            trace(login + ": reading it again");
            next.push_back(account);
        }
    }
    return next;
}

void ChangeEngine::putBackFailed() {
    bool rebound = false;
    for (Account& account : accounts_) {
        if (!account.error || account.written.empty()) {
            continue;
        }
        if (lost_ && !rebound) {
            rebound = true;
            session_.rebind();
        }
        trace("putting back the changes of " + account.request->login);
        account.error->message += "; " + account.written.putBack(session_.connection());
        // A made-up password that stays stored must reach its reader.
        account.passwordLeft = account.plan && !account.request->madePassword.empty() &&
                               account.written.leaves(account.plan->userDn(), "userPassword");
    }
}

void ChangeEngine::settleAll() {
    for (Account& account : accounts_) {
        if (account.settled || account.leftOut) {
            continue;
        }
        if (account.error) {
            settle(account, {account.error->code & 0xff, account.error->message, "",
                             account.passwordLeft ? account.request->madePassword : ""});
        } else {
            settle(account, success(account));
        }
    }
}
