// Shared dropacct runs.
#include "tests/support/Runs.h"

#include "dropacct/DropAcct.h"

std::vector<std::string> removalEverywhere(const Slapd& slapd, const Cyrus& cyrus,
                                           const std::string& uid) {
    return {"-ldap",
            "-imap",
            "-sieve",
            "-LH",
            "127.0.0.1",
            "-LP",
            slapd.portText(),
            "-CH",
            "127.0.0.1",
            "-CP",
            std::to_string(cyrus.imapPort()),
            "-SP",
            std::to_string(cyrus.sievePort()),
            "-bDN",
            "o=site",
            "-al",
            "admin",
            "-ap",
            "secret",
            "-uid",
            uid};
}

MyException dropInProcess(const std::vector<std::pair<std::string, std::string>>& params,
                          const ReplyWaits& waits) {
    DropAcct account;
    account.setReplyWaits(waits);
    for (const auto& p : params) {
        if (p.first == "debug") {
            account.debug = true;
        } else {
            account.addParam(p.first, p.second);
        }
    }
    try {
        account.dropAcct();
    } catch (const MyException& e) {
        return e;
    }
    return MyException(0, "");
}
