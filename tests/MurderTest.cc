// dropacct against the frontend of a real Cyrus murder: Sieve in referral
// mode (the frontend sends the session to the user's backend) and in proxy
// mode, with and without TLS. On each backend only the user's mailboxes and
// the user's ACL entries go; other users' mailboxes, rights and scripts stay.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/Murder.h"
#include "tests/support/Process.h"
#include "tests/support/ServerTls.h"

namespace {

// A backend's "mailbox acl" lines as they must be after `uid` left: its own
// mailboxes and its entries in other ACLs gone; Cyrus's undelete area
// (DELETED.*) left out.
std::string without(const std::string& lines, const std::string& uid) {
    std::istringstream in(lines);
    std::string kept;
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string name;
        words >> name;
        if (name.rfind("DELETED.", 0) == 0 || name == "user." + uid ||
            name.rfind("user." + uid + ".", 0) == 0) {
            continue;
        }
        std::string result = name;
        for (std::string identifier, rights; words >> identifier >> rights;) {
            if (identifier != uid)
                result += " " + identifier + " " + rights;
        }
        kept += result + "\n";
    }
    return kept;
}

class MurderRemoval : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        murder.frontend().imap(
            {"C1 create \"user.jdoe\" 127.0.0.3!default", "C2 create \"user.jdoe.Sent\"",
             "C3 create \"user.jroe\" 127.0.0.3!default",
             "C4 create \"user.other\" 127.0.0.2!default",
             "C5 create \"shared.projects\" 127.0.0.2!default",
             "A1 setacl \"shared.projects\" jdoe lrsw", "A2 setacl \"shared.projects\" jroe lr",
             "A3 setacl \"user.other\" jdoe lr", "A4 setacl \"user.jroe\" jdoe lr"});
        for (const char* user : {"jdoe", "jroe"})
            murder.backendB().putScripts(user, {"vacation", "filter"}, "filter");
        murder.backendA().putScripts("other", {"keep"}, "keep");
        murder.synchronize();
    }
    ProcessResult drop(const std::string& uid, int sievePort,
                       const std::vector<std::string>& stages) {
        std::vector<std::string> args{"-CH",  "127.0.0.1",
                                      "-CP",  std::to_string(murder.frontendImapPort()),
                                      "-SP",  std::to_string(sievePort),
                                      "-al",  "admin",
                                      "-ap",  "secret",
                                      "-uid", uid};
        args.insert(args.end(), stages.begin(), stages.end());
        if (GetParam())
            args.insert(args.end(), {"-tls", "-cacert", testCertificate("ca.pem")});
        return runProcess(DROPACCT_BIN, args);
    }

    Murder murder{GetParam()};
};

TEST_P(MurderRemoval, ReferralAndProxyModes) {
    const std::string a = murder.backendA().mailboxesWithAcls();
    const std::string b = murder.backendB().mailboxesWithAcls();
    const std::string otherScripts = murder.backendA().listScripts("other");
    // Referral mode: the scripts go first, then the mailbox.
    ProcessResult r = drop("jdoe", murder.frontendSievePort(), {"-sieve"});
    ASSERT_EQ(0, r.status) << r.out;
    EXPECT_EQ("OK\r\n", murder.backendB().listScripts("jdoe"));
    r = drop("jdoe", murder.frontendSievePort(), {"-imap"});
    ASSERT_EQ(0, r.status) << r.out;
    EXPECT_EQ(without(a, "jdoe"), without(murder.backendA().mailboxesWithAcls(), ""));
    EXPECT_EQ(without(b, "jdoe"), without(murder.backendB().mailboxesWithAcls(), ""));
    // Proxy mode, both stages in one run.
    r = drop("jroe", murder.frontendSieveProxyPort(), {"-sieve", "-imap"});
    ASSERT_EQ(0, r.status) << r.out;
    EXPECT_EQ(without(without(a, "jdoe"), "jroe"),
              without(murder.backendA().mailboxesWithAcls(), ""));
    EXPECT_EQ(without(without(b, "jdoe"), "jroe"),
              without(murder.backendB().mailboxesWithAcls(), ""));
    EXPECT_EQ(otherScripts, murder.backendA().listScripts("other"));
}

INSTANTIATE_TEST_SUITE_P(Tls, MurderRemoval, ::testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "starttls" : "plain";
                         });

}  // namespace
