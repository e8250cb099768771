// The phases of a change run: read, plan (in the requests' order), write
// the user entries, guard the new addresses against concurrent runs, write
// the groups, write the cards, put back what failed accounts wrote, report.
#include "modacct/ChangeEngine.h"

#include <ldap.h>
#include <strings.h>

#include <set>
#include <thread>

#include "account/AccountLock.h"
#include "account/AccountNames.h"
#include "account/AddressHolders.h"
#include "account/ConcurrentRuns.h"
#include "account/DerivedValues.h"
#include "account/DirectorySession.h"
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
// lock mark), as newacct's plan shows it.
LDAPModList shownInPlan(const LDAPModList& changes) {
    LDAPModList shown;
    for (const LDAPModification& change : changes) {
        const LDAPAttribute& attribute = change.getAttribute();
        if (strcasecmp(attribute.getName().c_str(), "userPassword") != 0) {
            shown.addModification(change);
            continue;
        }
        LDAPAttribute hidden(attribute.getName());
        for (const std::string& value : attribute.getValues()) {
            hidden.addValue(value.substr(0, value.find('}') + 1) +
                            (isLockedPassword(value) ? "!*" : "*"));
        }
        shown.addModification(LDAPModification(hidden, change.getOperation()));
    }
    return shown;
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
    return !account.settled && !account.error && !account.unchanged && !account.leftOut;
}

void ChangeEngine::settle(Account& account, const ChangeResult& result) {
    account.settled = true;
    report_(static_cast<size_t>(&account - accounts_.data()), result);
}

void ChangeEngine::fail(Account& account, const MyException& error) {
    if (!account.error) {
        account.error = error;
    }
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

void ChangeEngine::run(const std::vector<AccountChange>& requests, const Report& report) {
    prepare(requests);
    write(report);
}

void ChangeEngine::prepare(const std::vector<AccountChange>& requests) {
    accounts_.clear();
    for (const AccountChange& request : requests) {
        accounts_.push_back({&request, {}, std::nullopt, {}, std::nullopt});
    }
    ledger_ = BatchLedger();
    reads_.reset();
    readFailure_.reset();
    lost_ = false;
    LDAPConnection* const connection = session_.connection();
    if (!connection) {
        readFailure_ = notDone();
    } else {
        reads_.emplace(*connection, session_.params().baseDN);
        if (readWhole_) {
            reads_->readWhole();
        }
        try {
            read(*reads_);
            plan(*reads_);
        } catch (const LDAPException& e) {
            readFailure_ =
                DirectorySession::isLost(e) ? notDone() : MyException(-12, "search failed");
        }
    }
    if (readFailure_) {
        for (Account& account : accounts_) {
            fail(account, *readFailure_);
        }
    }
}

ChangeEngine::Outcome ChangeEngine::outcome(size_t index) const {
    const Account& account = accounts_[index];
    return {account.found ? &account.stored : nullptr, account.plan ? &*account.plan : nullptr,
            account.error ? &*account.error : nullptr};
}

void ChangeEngine::leaveOut(size_t index) {
    accounts_[index].leftOut = true;
}

void ChangeEngine::write(const Report& report) {
    report_ = report;
    // The accounts with nothing to change, as soon as that is known.
    for (Account& account : accounts_) {
        if (account.unchanged && !account.leftOut) {
            settle(account, {0, "", account.plan->changed(), ""});
        }
    }
    if (readFailure_) {
        settleAll();
        return;
    }
    WriteWindow window(plan_ ? nullptr : session_.connection(), plan_);
    writeUsers(window);
    guardAddresses();
    writeGroups(window, *reads_);
    writeContacts(window);
    if (!plan_) {
        trace("writes sent: " + std::to_string(window.sent()));
    }
    putBackFailed();
    settleAll();
}

void ChangeEngine::read(AccountReads& reads) {
    std::vector<std::string> logins;
    StringList attributes;
    std::set<std::string> named;
    for (const Account& account : accounts_) {
        logins.push_back(account.request->login);
        for (const std::string& name : ChangePlan::attributesRead(*account.request)) {
            if (named.insert(name).second) {
                attributes.add(name);
            }
        }
    }
    std::map<std::string, StoredAccount> stored = reads.accounts(logins, attributes);
    std::vector<StoredAccount*> cards;
    for (Account& account : accounts_) {
        const auto found = stored.find(account.request->login);
        if (found == stored.end()) {
            fail(account, MyException(kNoSuchAccount,
                                      "no such account: " + userDn(account.request->login,
                                                                   session_.params().baseDN)));
            continue;
        }
        account.stored = std::move(found->second);
        account.found = true;
        if (ChangePlan::needsContact(*account.request, account.stored)) {
            cards.push_back(&account.stored);
        }
    }
    if (!cards.empty()) {
        reads.contacts(cards);
    }
    trace("read " + std::to_string(stored.size()) + " of " + std::to_string(logins.size()) +
          " accounts in " + std::to_string(reads.searches()) + " searches");
}

void ChangeEngine::plan(AccountReads& reads) {
    const std::string& baseDN = session_.params().baseDN;
    const int today = todayDayNumber();
    std::vector<std::string> claims;
    std::set<std::string> joins;
    for (Account& account : accounts_) {
        if (!going(account)) {
            continue;
        }
        try {
            account.plan.emplace(*account.request, account.stored, baseDN, today);
        } catch (const MyException& e) {
            fail(account, e);
            continue;
        }
        claims.insert(claims.end(), account.plan->claims().begin(), account.plan->claims().end());
        joins.insert(account.plan->joins().begin(), account.plan->joins().end());
    }
    LDAPConnection& connection = *session_.connection();
    if (!claims.empty()) {
        ledger_.readHolders(connection, baseDN, claims);
    }
    reads.classGroups(joins);
    // In the requests' order, as single runs one after the other would go.
    for (Account& account : accounts_) {
        if (!going(account)) {
            continue;
        }
        const ChangePlan& plan = *account.plan;
        for (const std::string& name : plan.joins()) {
            if (!reads.hasGroup(name)) {
                fail(account,
                     MyException(-18, "class " + name + " has no group " +
                                          classGroupDn(name, baseDN) + " in the directory"));
                break;
            }
        }
        for (const std::string& claim : plan.claims()) {
            if (going(account) && !ledger_.addressFree(claim, plan.login())) {
                fail(account, MyException(-16, plan.claimRefusal(claim)));
            }
        }
        if (!going(account)) {
            continue;
        }
        for (const std::string& alias : plan.aliasClaims()) {
            ledger_.holdAddress(plan.login(), alias);
        }
        for (const std::string& alias : plan.releases()) {
            ledger_.releaseAddress(plan.login(), alias);
        }
        trace(plan.login() + ": " + plan.changed());
        account.unchanged = plan.empty();
    }
}

void ChangeEngine::writeUsers(WriteWindow& window) {
    for (Account& account : accounts_) {
        if (!going(account) || account.plan->userChanges().size() == 0) {
            continue;
        }
        const ChangePlan& plan = *account.plan;
        trace("modify " + plan.userDn() + ": " + describe(plan.userChanges()));
        window.modify(plan.userDn(), plan_ ? shownInPlan(plan.userChanges()) : plan.userChanges(),
                      [this, &account](const LDAPException* e) {
                          const ChangePlan& written = *account.plan;
                          if (!e || DirectorySession::isLost(*e)) {
                              account.written.modified(written.userDn(), written.userRestore(),
                                                       written.userDn());
                          }
                          if (e) {
                              failWrite(account, *e, "failed to change entry " + written.userDn());
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

void ChangeEngine::guardAddresses() {
    // The checks before the write race with other runs: once written, the
    // new addresses are looked for again. Of two writes of one address the
    // later one always sees the earlier, so at most one of them stays.
    if (plan_) {
        return;
    }
    const std::string& baseDN = session_.params().baseDN;
    for (Account& account : accounts_) {
        if (!going(account) || account.plan->claims().empty()) {
            continue;
        }
        const ChangePlan& plan = *account.plan;
        LDAPConnection& connection = *session_.connection();
        try {
            for (int attempt = 1; othersHold(account); ++attempt) {
                trace(plan.login() + ": an address was taken meanwhile; putting the entry back");
                connection.modify(plan.userDn(), &plan.userRestore());
                account.written.forgetNewest();
                if (attempt == kMaxAttempts) {
                    fail(account,
                         MyException(-13, "could not settle the addresses of " + plan.login() +
                                              " among concurrent runs after " +
                                              std::to_string(kMaxAttempts) +
                                              " attempts; nothing was written"));
                    break;
                }
                pauseBeforeAttempt(attempt);
                // A holder seen once may be another run on its way back: one
                // still there after a pause has settled.
                for (const std::string& claim : plan.claims()) {
                    if (!isAddressUnique(&connection, baseDN, claim, plan.login())) {
                        std::this_thread::sleep_for(kSettlePause);
                        if (!isAddressUnique(&connection, baseDN, claim, plan.login())) {
                            fail(account, MyException(-16, plan.claimRefusal(claim)));
                            break;
                        }
                    }
                }
                if (!going(account)) {
                    break;
                }
                connection.modify(plan.userDn(), &plan.userChanges());
                account.written.modified(plan.userDn(), plan.userRestore(), plan.userDn());
            }
        } catch (const LDAPException& e) {
            if (DirectorySession::isLost(e)) {
                lost_ = true;
                fail(account, notDone());
            } else {
                fail(account, MyException(-12, "search failed"));
            }
        }
    }
}

void ChangeEngine::writeGroups(WriteWindow& window, const AccountReads& reads) {
    GroupChanges changes;
    for (size_t i = 0; i < accounts_.size(); ++i) {
        if (!going(accounts_[i])) {
            continue;
        }
        const ChangePlan& plan = *accounts_[i].plan;
        for (const std::string& name : plan.leaves()) {
            changes.leave(reads.groupDn(name), name, i, plan.login());
        }
        for (const std::string& name : plan.joins()) {
            changes.join(reads.groupDn(name), name, i, plan.login());
        }
    }
    const auto record = [this](const GroupChanges::Group& group, const GroupChanges::Member& member,
                               bool joining) {
        accounts_[member.account].written.modified(
            group.dn, GroupChanges::memberChange(member.login, !joining),
            "memberUid " + member.login + " in " + group.dn);
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
                    }
                }
            }
        });
    }
    window.drain();
    // A group refused the change of all: each member's own change alone
    // tells whose it was.
    for (const GroupChanges::Group* group : refused) {
        for (bool joining : {false, true}) {
            for (const GroupChanges::Member& member : joining ? group->joining : group->leaving) {
                Account& account = accounts_[member.account];
                if (!going(account)) {
                    continue;
                }
                const LDAPModList own = GroupChanges::memberChange(member.login, joining);
                trace("modify " + group->dn + ": " + describe(own));
                try {
                    session_.connection()->modify(group->dn, &own);
                    record(*group, member, joining);
                } catch (const LDAPException& e) {
                    // Already as asked (another run got there first, or the
                    // late end of an interrupted one): nothing was written,
                    // and nothing of the account is to be put back for it.
                    if (e.getResultCode() ==
                        (joining ? LDAP_TYPE_OR_VALUE_EXISTS : LDAP_NO_SUCH_ATTRIBUTE)) {
                        trace(member.login + ": already as asked in " + group->dn);
                        continue;
                    }
                    failWrite(account, e,
                              joining ? "failed to add " + member.login + " to class " + group->name
                                      : "failed to remove " + member.login + " from class " +
                                            group->name);
                }
            }
        }
    }
}

void ChangeEngine::writeContacts(WriteWindow& window) {
    for (Account& account : accounts_) {
        if (!going(account)) {
            continue;
        }
        const ChangePlan& plan = *account.plan;
        const std::string& dn = plan.contactDn();
        if (plan.contactAdd()) {
            trace("add " + dn);
            window.add(dn, *plan.contactAdd(), [this, &account, dn](const LDAPException* e) {
                if (!e || DirectorySession::isLost(*e)) {
                    account.written.added(dn);
                }
                if (e) {
                    failWrite(account, *e, "failed to add contact " + dn);
                }
            });
        } else if (plan.contactChanges().size() > 0) {
            trace("modify " + dn + ": " + describe(plan.contactChanges()));
            window.modify(dn, plan.contactChanges(), [this, &account, dn](const LDAPException* e) {
                if (!e || DirectorySession::isLost(*e)) {
                    account.written.modified(dn, account.plan->contactRestore(), dn);
                }
                if (e) {
                    failWrite(account, *e, "failed to change contact " + dn);
                }
            });
        }
    }
    window.drain();
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
    }
}

void ChangeEngine::settleAll() {
    for (Account& account : accounts_) {
        if (account.settled || account.leftOut) {
            continue;
        }
        if (account.error) {
            settle(account, {account.error->code & 0xff, account.error->message, "", ""});
        } else {
            settle(account, {0, "", account.plan->changed(),
                             plan_ ? std::string() : account.request->madePassword});
        }
    }
}
