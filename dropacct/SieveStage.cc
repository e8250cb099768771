// The Sieve stage of a removal.
#include "dropacct/SieveStage.h"

#include <commoncpp/commoncpp.h>
#include <commoncpp/socket.h>

#include <algorithm>
#include <set>

#include "common/LdifWriter.h"
#include "common/MyException.h"
#include "dropacct/AccountRemoval.h"
#include "dropacct/LoginSeparator.h"
#include "dropacct/RemovalPolicy.h"
#include "dropacct/RemovalSettings.h"
#include "sieve/SieveSimple.h"
#include "wire/TcpLineSource.h"
#include "wire/TlsChannel.h"

namespace {

constexpr int kMaxReferrals = 3;

std::string serverName(const std::string& host, int port) {
    std::string lower = host;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower + ":" + std::to_string(port);
}

// The login was refused: in a batch that may mean the user's mailbox, which
// holds the scripts, is already gone.
struct LoginRefused {
    SieveException error;
};

}  // namespace

SieveStage::SieveStage(const RemovalSettings& settings, const RemovalPolicy& policy,
                       LdifWriter* plan, SeparatorLookup separators)
    : settings_(settings), policy_(policy), plan_(plan), separators_(std::move(separators)) {}

SieveStage::~SieveStage() = default;

void SieveStage::run(const std::vector<AccountRemoval*>& accounts) {
    // Before any script is touched; a login without '.' and '/' costs
    // nothing. Without an IMAP server to ask, the login goes ahead: the
    // Sieve server refuses one that holds its separator, and on a server
    // whose separator is the other one it is a user of its own.
    if (separators_ && anyMayHoldSeparator(accounts)) {
        refuseSeparatorLogins(accounts, separators_());
    }
    for (AccountRemoval* account : accounts) {
        if (account->going()) {
            removeAccount(*account);
        }
    }
    if (idle_) {
        idle_->logout();
        idle_.reset();
    }
}

void SieveStage::removeAccount(AccountRemoval& account) {
    settings_.trace("DropAcct::dropAcctSieve()");
    const std::string scriptFailure =
        "Could not delete filterscript of user: " + account.uid() + "\nError message: ";
    std::string host = settings_.cyrusHost;
    int port = settings_.sievePort;
    std::string referredBy;
    std::set<std::string> visited;
    for (int referrals = 0;; ++referrals) {
        visited.insert(serverName(host, port));
        std::unique_ptr<SieveSimple> client =
            referrals == 0 && idle_ ? std::move(idle_) : openSession(host, port, referredBy);
        try {
            removeScripts(*client, account);
            // Where the server offers it, a batch logs in again for the
            // next account on the same session.
            if (policy_.sharedSessions && referrals == 0 && client->canUnauthenticate()) {
                try {
                    client->unauthenticate();
                    idle_ = std::move(client);
                    return;
                } catch (const SieveException&) {
                    // The account is done; the next one opens a session.
                }
            }
            client->logout();
            return;
        } catch (const SieveReferral& referral) {
            client->logout();
            std::string nextHost;
            int nextPort = 0;
            if (!parseSieveUrl(referral.url, nextHost, nextPort)) {
                account.fail(MyException(-51, scriptFailure + referral.message +
                                                  " (a referral this client cannot follow)"));
                return;
            }
            nextPort = nextPort ? nextPort : settings_.sievePort;
            if (referrals == kMaxReferrals || visited.count(serverName(nextHost, nextPort))) {
                account.fail(MyException(
                    -51,
                    scriptFailure + referral.message + " (" +
                        (referrals == kMaxReferrals
                             ? "more than " + std::to_string(kMaxReferrals) + " referrals"
                             : "a referral back to " + nextHost + ":" + std::to_string(nextPort)) +
                        ", not followed)"));
                return;
            }
            settings_.trace("    referred to " + referral.url + ": " + nextHost + ":" +
                            std::to_string(nextPort));
            referredBy = host + ":" + std::to_string(port);
            host = nextHost;
            port = nextPort;
        } catch (const LoginRefused& refused) {
            client->logout();
            account.sieveRefused = MyException(-51, scriptFailure + refused.error.message);
            return;
        } catch (const SieveException& e) {
            client->logout();
            account.fail(MyException(-51, scriptFailure + e.message));
            // A batch stops at a server lost or silent, and the accounts
            // not yet tried say so; a single run has nothing left to do
            // anyway.
            for (const char* lost : {"Socket Error", "connection lost", "connection timed out"}) {
                if (e.message.find(std::string("Serverresponse: ") + lost) != std::string::npos) {
                    throw MyException(-51, "not done: the Sieve session with " + host + ":" +
                                               std::to_string(port) + " broke off: " + e.message);
                }
            }
            return;
        }
    }
}

std::unique_ptr<SieveSimple> SieveStage::openSession(const std::string& host, int port,
                                                     const std::string& referredBy) const {
    std::string failure = "Sieve initialization failed.\nError message:";
    // A server named by a referral is named in the message as well.
    const std::string where = referredBy.empty() ? ""
                                                 : " (" + host + ":" + std::to_string(port) +
                                                       ", referred by " + referredBy + ")";
    try {
        auto client = std::make_unique<SieveSimple>(host.c_str(), port, settings_.replyWaits);
        // Sieve has no implicit TLS: any TLS option means STARTTLS here.
        if (settings_.tls.any()) {
            client->startTls(settings_.tlsFor(host));
        }
        return client;
    } catch (const SieveException& e) {
        throw MyException(-50, failure + e.message + where);
    } catch (ost::Socket*) {
        throw MyException(-50, failure + "Socket Error" + where);
    } catch (const ost::SockException&) {
        throw MyException(-50, failure + "Socket Error" + where);
    }
}

void SieveStage::removeScripts(SieveSimple& client, AccountRemoval& account) const {
    try {
        client.authenticate(account.uid(), settings_.adminLogin, settings_.adminPassword);
    } catch (const SieveReferral&) {
        throw;
    } catch (const SieveException& e) {
        // Only a batch with an IMAP stage can tell whether the mailbox is gone.
        if (policy_.sieveRefusalAwaitsMailbox &&
            e.message.find("Serverresponse: NO") != std::string::npos) {
            throw LoginRefused{e};
        }
        throw;
    }
    std::list<ListedScript> scripts;
    std::string active;
    client.list(scripts, active);
    // The server refuses to delete the active script.
    if (!active.empty()) {
        if (plan_) {
            plan_->comment("sieve: deactivate \"" + escapedForQuotes(active) + "\"");
        } else {
            client.deactivate();
        }
    }
    for (const ListedScript& script : scripts) {
        if (plan_) {
            plan_->comment("sieve: delete " + SieveSimple::scriptArgument(script.name));
        } else {
            client.deleteListed(script);
            ++account.removed.scripts;
        }
    }
}
