// The Sieve stage of a removal: every filter script of the user is deleted,
// acting as the administrator for the user.
#include <commoncpp/commoncpp.h>
#include <commoncpp/socket.h>

#include <iostream>

#include "common/MyException.h"
#include "dropacct/DropAcct.h"
#include "sieve/SieveSimple.h"
#include "wire/TlsChannel.h"

void DropAcct::dropAcctSieve() {
    trace("DropAcct::dropAcctSieve()");
    const std::string setupFailure = "Sieve initialization failed.\nError message:";
    std::unique_ptr<SieveSimple> client;
    try {
        client = std::make_unique<SieveSimple>(cyrusHost_.c_str(), sievePort_, replyWaits_);
        if (tls_.startTls) {
            client->startTls(tlsFor(cyrusHost_));
        }
    } catch (const SieveException& e) {
        throw MyException(-50, setupFailure + e.message);
    } catch (ost::Socket*) {
        throw MyException(-50, setupFailure + "Socket Error");
    } catch (const ost::SockException&) {
        throw MyException(-50, setupFailure + "Socket Error");
    }
    try {
        client->authenticate(uid_, adminLogin_, adminPassword_);
        std::list<std::string> scripts;
        std::string active;
        client->list(scripts, active);
        // The server refuses to delete the active script.
        if (!active.empty()) {
            if (plan_) {
                plan_->comment("sieve: deactivate \"" + active + "\"");
            } else {
                client->deactivate();
            }
        }
        for (const std::string& script : scripts) {
            if (plan_) {
                plan_->comment("sieve: delete \"" + script + "\"");
            } else {
                client->del(script);
                ++removed_.scripts;
            }
        }
    } catch (const SieveException& e) {
        client->logout();
        throw MyException(-51, "Could not delete filterscript of user: " + uid_ +
                                   "\nError message: " + e.message);
    }
    client->logout();
}
