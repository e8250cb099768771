// The Sieve stage of a removal: every filter script of the user is deleted,
// acting as the administrator for the user. A server that refers the user
// to another one (a Cyrus murder's frontend names the user's backend) is
// followed: the same work is done again there, a few hops at most and never
// back to a server already visited.
#include <commoncpp/commoncpp.h>
#include <commoncpp/socket.h>

#include <algorithm>
#include <iostream>
#include <set>

#include "common/MyException.h"
#include "dropacct/DropAcct.h"
#include "sieve/SieveSimple.h"
#include "wire/TlsChannel.h"

namespace {

constexpr int kMaxReferrals = 3;

std::string serverName(const std::string& host, int port) {
    std::string lower = host;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower + ":" + std::to_string(port);
}

}  // namespace

void DropAcct::dropAcctSieve() {
    trace("DropAcct::dropAcctSieve()");
    const std::string scriptFailure =
        "Could not delete filterscript of user: " + uid_ + "\nError message: ";
    std::string host = cyrusHost_;
    int port = sievePort_;
    std::string referredBy;
    std::set<std::string> visited;
    for (int referrals = 0;; ++referrals) {
        visited.insert(serverName(host, port));
        std::unique_ptr<SieveSimple> client = openSieveSession(host, port, referredBy);
        try {
            removeSieveScripts(*client);
            client->logout();
            return;
        } catch (const SieveReferral& referral) {
            client->logout();
            std::string nextHost;
            int nextPort = 0;
            if (!parseSieveUrl(referral.url, nextHost, nextPort)) {
                throw MyException(-51, scriptFailure + referral.message +
                                           " (a referral this client cannot follow)");
            }
            nextPort = nextPort ? nextPort : sievePort_;
            if (referrals == kMaxReferrals || visited.count(serverName(nextHost, nextPort))) {
                throw MyException(
                    -51,
                    scriptFailure + referral.message + " (" +
                        (referrals == kMaxReferrals
                             ? "more than " + std::to_string(kMaxReferrals) + " referrals"
                             : "a referral back to " + nextHost + ":" + std::to_string(nextPort)) +
                        ", not followed)");
            }
            trace("    referred to " + referral.url + ": " + nextHost + ":" +
                  std::to_string(nextPort));
            referredBy = host + ":" + std::to_string(port);
            host = nextHost;
            port = nextPort;
        } catch (const SieveException& e) {
            client->logout();
            throw MyException(-51, scriptFailure + e.message);
        }
    }
}

std::unique_ptr<SieveSimple> DropAcct::openSieveSession(const std::string& host, int port,
                                                        const std::string& referredBy) {
    std::string failure = "Sieve initialization failed.\nError message:";
    // A server named by a referral is named in the message as well.
    const std::string where = referredBy.empty() ? ""
                                                 : " (" + host + ":" + std::to_string(port) +
                                                       ", referred by " + referredBy + ")";
    try {
        auto client = std::make_unique<SieveSimple>(host.c_str(), port, replyWaits_);
        // Sieve has no implicit TLS: any TLS option means STARTTLS here.
        if (tls_.any()) {
            client->startTls(tlsFor(host));
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

void DropAcct::removeSieveScripts(SieveSimple& client) {
    client.authenticate(uid_, adminLogin_, adminPassword_);
    std::list<std::string> scripts;
    std::string active;
    client.list(scripts, active);
    // The server refuses to delete the active script.
    if (!active.empty()) {
        if (plan_) {
            plan_->comment("sieve: deactivate \"" + active + "\"");
        } else {
            client.deactivate();
        }
    }
    for (const std::string& script : scripts) {
        if (plan_) {
            plan_->comment("sieve: delete \"" + script + "\"");
        } else {
            client.del(script);
            ++removed_.scripts;
        }
    }
}
