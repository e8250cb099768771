// Adding the user entry so that concurrent runs never leave two accounts
// with one user ID number or one address. The checks made before the add
// race with other runs, so the add is followed by a second look: a run that
// then sees another holder withdraws its entry and tries again. Of two
// entries added for one value, the later one always sees the earlier, so at
// most one of them stays; two that both withdraw meet again only by chance,
// after a random pause.
#include <ldap.h>
#include <strings.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <random>
#include <thread>

#include "account/AddressHolders.h"
#include "account/BatchLedger.h"
#include "account/DirectorySession.h"
#include "common/MyException.h"
#include "ldap/LDAPException.h"
#include "newacct/NewAcct.h"

namespace {

constexpr int kMaxAttempts = 30;
// Longer than any run needs from its add to its withdrawal.
constexpr std::chrono::milliseconds kSettlePause{150};

void pauseBeforeAttempt(int attempt) {
    static std::mt19937 random{std::random_device{}()};
    const int ceiling = std::min(4 << std::min(attempt, 7), 400);
    std::uniform_int_distribution<int> milliseconds(1, ceiling);
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds(random)));
}

// Leaves a batch's ledger out of the checks while it lives.
class LedgerAside {
  public:
    explicit LedgerAside(BatchLedger*& ledger) : ledger_(ledger), kept_(ledger) {
        ledger = nullptr;
    }
    ~LedgerAside() { ledger_ = kept_; }
    LedgerAside(const LedgerAside&) = delete;
    LedgerAside& operator=(const LedgerAside&) = delete;

  private:
    BatchLedger*& ledger_;
    BatchLedger* const kept_;
};

bool containsNoCase(const std::string& text, const std::string& part) {
    return strcasestr(text.c_str(), part.c_str()) != nullptr;
}

}  // namespace

std::vector<std::string> NewAcct::claimedAddresses() const {
    std::vector<std::string> addresses;
    const std::string localPart = mail_.substr(0, mail_.find('@'));
    if (!localPart.empty())
        addresses.push_back(localPart);
    addresses.insert(addresses.end(), aliases_.begin(), aliases_.end());
    return addresses;
}

NewAcct::Conflicts NewAcct::findConflicts() {
    // The accounts the checks before the add look for (a login name or alias
    // equal to one of our addresses), and for a number of our choosing any
    // other POSIX account with it. Accounts with our login name, ours among
    // them, are left out, as in those checks.
    std::string wanted = addressHolderTerms(claimedAddresses());
    const std::string number = std::to_string(uidNumber_);
    if (uidNumberChosen_)
        wanted += "(uidNumber=" + number + ")";
    Conflicts found;
    if (wanted.empty())
        return found;
    std::unique_ptr<LDAPSearchResults> results =
        connection()->search(baseDN_, LDAPConnection::SEARCH_ONE,
                             otherAccountsFilter(login_, wanted), StringList{"uidNumber"});
    while (std::unique_ptr<LDAPEntry> entry = results->getNext()) {
        const LDAPAttribute* numbers = entry->getAttributes()->getAttributeByName("uidNumber");
        const std::vector<std::string>& held =
            numbers ? numbers->getValues() : std::vector<std::string>();
        if (uidNumberChosen_ && std::find(held.begin(), held.end(), number) != held.end()) {
            found.number = true;
        } else {
            found.address = true;
        }
    }
    return found;
}

NewAcct::Conflicts NewAcct::conflictsOfRefusal(const LDAPException& refusal) const {
    // A directory that keeps values unique itself (slapd's uniqueness
    // overlay) answers "non-unique attributes found with <filter>".
    Conflicts found;
    if (refusal.getResultCode() != LDAP_CONSTRAINT_VIOLATION)
        return found;
    const std::string& text = refusal.getServerMsg();
    found.number = uidNumberChosen_ && containsNoCase(text, "uidNumber=");
    found.address = containsNoCase(text, "mail=") || containsNoCase(text, "alias=");
    return found;
}

void NewAcct::withdrawUserEntry() {
    try {
        connection()->del(userDN());
    } catch (const LDAPException& e) {
        throw MyException(-14, "failed to withdraw entry " + userDN() +
                                   " after a conflict with a concurrent run: " + e.getResultMsg() +
                                   "; the entry is left in the directory");
    }
}

void NewAcct::checkAddressesSettled(const LDAPException* refusal) {
    // A holder seen once may be another run between its add and its own
    // withdrawal: only one still there after a pause has settled. Another
    // run's holder is news to a batch's ledger: the directory is asked.
    const LedgerAside aside(ledger_);
    try {
        checkMailUnique();
        checkAliases();
    } catch (const MyException&) {
        std::this_thread::sleep_for(kSettlePause);
        checkMailUnique();
        checkAliases();
    }
    if (!refusal)
        return;
    // The directory refused a value that this program lets two accounts
    // share (its rule compares mail with mail): that is its word. Its
    // message names the filter it searched with: one value of ours, or with
    // a combined rule (mail,alias) all of them, and then the holder is
    // looked up.
    const std::string& text = refusal->getServerMsg();
    std::vector<std::string> named;
    for (const std::string& value : addressValues()) {
        if (containsNoCase(text, "=" + value + ")"))
            named.push_back(value);
    }
    std::string blamed = named.empty() ? mail_ : named.front();
    if (named.size() > 1) {
        for (const std::string& value : named) {
            if (heldByAnother(value)) {
                blamed = value;
                break;
            }
        }
    }
    if (blamed != mail_)
        throw MyException(-16, "Alias " + blamed + " already exists. Aborted");
    throw MyException(-16, "Address " + mail_ + " already exists. Aborted");
}

std::vector<std::string> NewAcct::addressValues() const {
    std::vector<std::string> values;
    if (!mail_.empty())
        values.push_back(mail_);
    values.insert(values.end(), aliases_.begin(), aliases_.end());
    return values;
}

bool NewAcct::heldByAnother(const std::string& value) {
    return ::heldByAnother(*connection(), baseDN_, value, login_);
}

unsigned NewAcct::nextFreeUidNumber(unsigned from) {
    // Every number below the contested one was taken when the accounts were
    // scanned: from it upward, each is looked up on its own (an indexed
    // search), instead of reading every account again.
    try {
        for (unsigned number = from;; ++number) {
            if (number != from && ledger_ && ledger_->holdsNumber(number)) {
                continue;
            }
            std::unique_ptr<LDAPSearchResults> results = connection()->search(
                baseDN_, LDAPConnection::SEARCH_ONE,
                "(&(objectClass=posixAccount)(uidNumber=" + std::to_string(number) + "))",
                StringList{"1.1"});
            bool taken = false;
            while (results->getNext()) {
                taken = true;
            }
            if (!taken) {
                return number;
            }
            if (ledger_) {
                ledger_->holdNumber(number);
            }
        }
    } catch (const LDAPException&) {
        throw MyException(-12, "search failed");
    }
}

NewAcct::Holder NewAcct::userEntryHolder() {
    if (!connection()) {
        throw LDAPException(LDAP_SERVER_DOWN, "");
    }
    std::unique_ptr<LDAPSearchResults> results = connection()->search(
        userDN(), LDAPConnection::SEARCH_BASE, "(objectClass=*)", StringList{"userPassword"});
    Holder holder = Holder::Nobody;
    try {
        while (std::unique_ptr<LDAPEntry> entry = results->getNext()) {
            const LDAPAttribute* held = entry->getAttributes()->getAttributeByName("userPassword");
            const bool ours = held && held->getValues() == std::vector<std::string>{userPassword_};
            holder = ours ? Holder::Us : Holder::Another;
        }
    } catch (const LDAPException& e) {
        if (e.getResultCode() != LDAP_NO_SUCH_OBJECT)
            throw;
    }
    return holder;
}

bool NewAcct::recoverLostAdd(const LDAPException& lost) {
    const std::string failure = "failed to add entry: " + lost.getResultMsg() +
                                "; the connection was lost after the add was sent, ";
    Holder holder = Holder::Nobody;
    try {
        // A single run has its session to itself and looks again over a new
        // one; a batch stops at a lost connection and takes back instead.
        if (!ownSession_ || !ownSession_->rebind())
            throw LDAPException(LDAP_SERVER_DOWN, "");
        holder = userEntryHolder();
    } catch (const LDAPException&) {
        written_.push_back({userDN(), "", "", true});
        throw MyException(-14, failure + "so " + userDN() + " may have been written");
    }
    if (holder == Holder::Another) {
        throw MyException(-14, failure + "and " + userDN() +
                                   " now holds an entry this run did not write; it is left");
    }
    return holder == Holder::Us;
}

void NewAcct::claimUserEntry() {
    if (plan_) {
        // The hash stays out of the plan; its scheme shows.
        LDAPAttributeList shown = attributes_;
        shown.replaceAttribute(LDAPAttribute(
            "userpassword", userPassword_.substr(0, userPassword_.find('}') + 1) + "*"));
        plan_->add(userDN(), shown);
        return;
    }
    for (int attempt = 1;; ++attempt) {
        Conflicts conflicts;
        std::optional<LDAPException> refusal;
        try {
            const LDAPEntry entry(userDN(), attributes_);
            connection()->add(&entry);
        } catch (const LDAPException& e) {
            // Lost on our side (codes below 0), the add may still have
            // been applied.
            if (e.getResultCode() < 0) {
                if (!recoverLostAdd(e)) {
                    if (attempt == kMaxAttempts)
                        throw MyException(-14, "failed to add entry: " + e.getResultMsg());
                    continue;
                }
            } else {
                conflicts = conflictsOfRefusal(e);
                if (!conflicts.any())
                    throw MyException(-14, "failed to add entry: " + e.getResultMsg());
                refusal = e;
            }
        }
        if (!refusal) {
            try {
                conflicts = findConflicts();
            } catch (const LDAPException&) {
                // Unchecked, the entry may share a value: it must not stay.
                withdrawUserEntry();
                throw MyException(-12, "search failed");
            }
            if (!conflicts.any()) {
                written_.push_back({userDN(), "", ""});
                return;
            }
            withdrawUserEntry();
        }
        if (attempt == kMaxAttempts) {
            throw MyException(-13, "could not settle a free user ID number and addresses for " +
                                       login_ + " among concurrent runs after " +
                                       std::to_string(kMaxAttempts) +
                                       " attempts; nothing was written");
        }
        pauseBeforeAttempt(attempt);
        if (conflicts.address)
            checkAddressesSettled(refusal ? &*refusal : nullptr);
        if (conflicts.number) {
            uidNumber_ = nextFreeUidNumber(uidNumber_);
            attributes_.replaceAttribute(LDAPAttribute("uidnumber", std::to_string(uidNumber_)));
        }
    }
}
