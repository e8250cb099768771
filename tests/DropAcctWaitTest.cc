// No directory request of dropacct waits forever: a directory that accepts
// and never answers, or goes silent at a request of any kind, ends the
// directory stage of a single run and of every account of a batch with the
// connection status (249) and a message naming the directory.
#include <gtest/gtest.h>

#include <memory>

#include "common/MyException.h"
#include "dropacct/DropAcct.h"
#include "tests/support/Accounts.h"
#include "tests/support/DroppingProxy.h"
#include "tests/support/SilentDirectory.h"
#include "tests/support/SilentServer.h"
#include "tests/support/Slapd.h"

namespace {

// dropacct -ldap in this process for `uids` (a batch when more than one):
// each account's failure, or code 0.
std::vector<MyException> drop(const Params& params, const std::vector<std::string>& uids) {
    DropAcct run;
    run.setReplyWaits(kShortWaits);
    for (const auto& [name, value] : params)
        run.addParam(name, value);
    run.addParam("ldap", "1");
    run.addParam("uid", uids.front());
    run.checkParams();
    std::vector<AccountRemoval> accounts(uids.begin(), uids.end());
    run.removeAll(accounts);
    std::vector<MyException> ends;
    for (const AccountRemoval& removal : accounts)
        ends.push_back(removal.failure() ? *removal.failure() : MyException(0, ""));
    return ends;
}

// Accepts and never answers (plain, after granting StartTLS, ldaps), or
// goes silent at a request of each kind (its request reaches the server,
// nothing comes back): a single run and every account of a batch end 249.
TEST(DropAcctWait, SilentDirectory) {
    const struct {
        const char* tls;
        std::string opening;
        int request;  // 0: a server that never answers
        const char* start;
    } cases[] = {
        {"", "", 0, "ldap bind failed\n"},
        {"tls", kStartTlsGranted, 0, "ldap bind failed\n"},
        {"ldaps", "", 0, "ldap bind failed\n"},
        {"tls", "", 1, "ldap bind failed\n"},                          // StartTLS
        {"", "", 2, "failed to remove user from ldap groups: "},       // search
        {"", "", 3, "failed to remove user from ldap groups: "},       // modify
        {"", "", 10, "failed to delete user subentries from ldap: "},  // delete
    };
    for (const auto& c : cases) {
        std::unique_ptr<SilentServer> silent;
        std::unique_ptr<Slapd> slapd;
        std::unique_ptr<DroppingProxy> proxy;
        std::string port;
        if (c.request == 0) {
            silent = std::make_unique<SilentServer>(c.opening);
            port = silent->portText();
        } else {
            slapd = *c.tls ? std::make_unique<Slapd>(ServerTls{})
                           : std::make_unique<Slapd>(kJdoeEntries);
            if (!*c.tls)
                slapd->modify(kJdoeReferences);
            proxy =
                std::make_unique<DroppingProxy>(slapd->port(), c.request, DroppingProxy::Silence);
            port = proxy->portText();
        }
        // One account alone, then a batch (when the server answers at all).
        for (const std::vector<std::string>& uids :
             {std::vector<std::string>{"jdoe"}, std::vector<std::string>{"jdoe", "alice"}}) {
            if (uids.size() > 1 && c.request != 0)
                break;
            for (const MyException& end : drop(directoryParams(port, c.tls, "L"), uids)) {
                const std::string where = std::to_string(c.request) + c.tls + ": " + end.message;
                EXPECT_EQ(249, end.code & 0xff) << where;
                EXPECT_EQ(0u, end.message.find(c.start)) << where;
                EXPECT_TRUE(namesSilentDirectory(end.message, port)) << where;
            }
        }
    }
}

}  // namespace
