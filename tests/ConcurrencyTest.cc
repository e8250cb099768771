// newacct runs started together against one directory, with and without
// slapd's uniqueness overlay: no number or address ever ends up twice, a run
// that loses an address leaves nothing behind, and a run that cannot take
// back its entry says which entry stayed.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "tests/support/DroppingProxy.h"
#include "tests/support/Process.h"
#include "tests/support/Slapd.h"

namespace {

std::vector<std::string> account(const Slapd& slapd, const std::string& login,
                                 const std::vector<std::string>& more = {}) {
    std::vector<std::string> args{"-H",   "127.0.0.1", "-P",   slapd.portText(),
                                  "-bDN", "o=site",    "-al",  "admin",
                                  "-ap",  "secret",    "-uid", login,
                                  "-sn",  "S",         "-up",  "pw",
                                  "-o",   "A",         "-c",   "DE"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

class ParallelNewacct : public ::testing::TestWithParam<bool> {
  protected:
    Slapd slapd{std::string(), std::string(),
                GetParam() ? Slapd::uniquenessOverlay() : std::string()};
};

TEST_P(ParallelNewacct, EveryNumberOnceAndWithoutGaps) {
    for (int round = 0; round < 4; ++round) {
        std::vector<std::vector<std::string>> runs;
        for (int i = 0; i < 16; ++i)
            runs.push_back(account(slapd, "r" + std::to_string(round) + "u" + std::to_string(i)));
        for (const ProcessResult& r : runTogether(NEWACCT_BIN, runs))
            EXPECT_EQ(0, r.status) << r.out;
    }
    std::vector<long> numbers = slapd.uidNumbers();
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(numbers.begin(), std::upper_bound(numbers.begin(), numbers.end(), 2000L));
    // The seed holds 2001 and 2002; 64 more fill 2003 to 2066.
    std::vector<long> expected(66);
    for (size_t i = 0; i < expected.size(); ++i)
        expected[i] = 2001 + static_cast<long>(i);
    EXPECT_EQ(expected, numbers);
}

// Eight runs claim one address: all by alias, then seven by alias and one
// by its mail address (its login is the address too). Whichever comes first
// holds it; the others are refused as they would be one after the other, and
// leave nothing of theirs.
TEST_P(ParallelNewacct, OneAddressOneHolder) {
    const std::vector<std::string> extras{"-class", "users", "-writeglobaladdress", "allowed"};
    for (const bool loginClaims : {false, true}) {
        const std::string tag = loginClaims ? "b" : "a";
        const std::string address = loginClaims ? "news" : "info";
        const std::string mail = address + "@example.org";
        std::vector<std::vector<std::string>> runs;
        std::vector<std::string> logins;
        for (int i = 0; i < 8; ++i) {
            logins.push_back(loginClaims && i == 0 ? address : tag + std::to_string(i));
            std::vector<std::string> more = extras;
            if (loginClaims && i == 0) {
                more.insert(more.end(), {"-mail", mail});
            } else {
                more.insert(more.end(), {"-alias", address});
            }
            runs.push_back(account(slapd, logins.back(), more));
        }
        const std::vector<ProcessResult> results = runTogether(NEWACCT_BIN, runs);
        int created = 0;
        for (size_t i = 0; i < results.size(); ++i) {
            const ProcessResult& r = results[i];
            const std::string& login = logins[i];
            if (r.status == 0) {
                ++created;
                continue;
            }
            EXPECT_EQ(240, r.status) << r.out;
            EXPECT_EQ(login == address ? "Address " + mail + " already exists. Aborted\n"
                                       : "Alias " + address + " already exists. Aborted\n",
                      r.out);
            EXPECT_TRUE(slapd
                            .search("o=site", "(|(uid=" + login + ")(uid=" + login +
                                                  ":system)(memberUid=" + login +
                                                  ")(member=uid=" + login + ",o=site))")
                            .empty())
                << login;
        }
        EXPECT_EQ(1, created) << tag;
        EXPECT_EQ(1u, slapd
                          .holders("(&(objectClass=posixAccount)(|(alias=" + address +
                                   ")(mail=" + mail + ")))")
                          .size())
            << tag;
    }
}

INSTANTIATE_TEST_SUITE_P(UniquenessOverlay, ParallelNewacct, ::testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "serialize" : "none";
                         });

// The combined mail,alias rule names all of a run's values in its refusal:
// the message names the one another account holds (here the mail address,
// which newacct alone lets two accounts share), not the first alias.
TEST(UniquenessOverlayRefusal, NamesTheAddressHeld) {
    Slapd slapd{std::string(), std::string(), Slapd::uniquenessOverlay()};
    ASSERT_EQ(
        0, runProcess(NEWACCT_BIN, account(slapd, "first", {"-mail", "team@example.org"})).status);
    const ProcessResult r = runProcess(NEWACCT_BIN, account(slapd, "second",
                                                            {"-mail", "team@example.org", "-alias",
                                                             "second1", "-alias", "second2"}));
    EXPECT_EQ(240, r.status);
    EXPECT_EQ("Address team@example.org already exists. Aborted\n", r.out);
}

// A rival takes the chosen number while the user entry is on its way (the
// proxy adds it just before the add goes on): the run takes back its entry
// and settles on the first free number from the contested one on, which is
// the contested one itself when the rival has left before the next lookup;
// with the connection cut before its withdrawal reaches the server, it fails
// and names the entry it left.
TEST(LostRace, NextNumberOrNamedLeftover) {
    const char* const rival =
        "dn: uid=rival,o=site\nchangetype: add\nobjectClass: inetOrgPerson\n"
        "objectClass: posixAccount\nuid: rival\ncn: R\nsn: R\nuidNumber: 2003\n"
        "gidNumber: 100\nhomeDirectory: /home/rival\n";
    constexpr int kUserEntryAdd = 5, kWithdrawal = 7, kNextLookup = 8;
    const struct {
        int cutAt;
        int rivalLeavesAt;  // 0: stays
        const char* uidNumber;
    } cases[] = {{0, 0, "2004"}, {0, kNextLookup, "2003"}, {kWithdrawal, 0, nullptr}};
    for (const auto& c : cases) {
        Slapd slapd;
        DroppingProxy proxy(slapd.port(), c.cutAt, DroppingProxy::BeforeRequest, [&](int request) {
            if (request == kUserEntryAdd)
                slapd.modify(rival);
            if (request == c.rivalLeavesAt)
                slapd.modify("dn: uid=rival,o=site\nchangetype: delete\n");
        });
        std::vector<std::string> args = account(slapd, "jdoe");
        args[3] = proxy.portText();
        const ProcessResult r = runProcess(NEWACCT_BIN, args);
        if (c.uidNumber) {
            EXPECT_EQ(0, r.status) << r.out;
            EXPECT_NE(std::string::npos, slapd.search("uid=jdoe,o=site")
                                             .find("uidNumber: " + std::string(c.uidNumber) + "\n"))
                << c.uidNumber;
        } else {
            EXPECT_EQ(242, r.status);
            EXPECT_EQ(
                "failed to withdraw entry uid=jdoe,o=site after a conflict with a concurrent "
                "run: Can't contact LDAP server; the entry is left in the directory\n",
                r.out);
            EXPECT_TRUE(slapd.exists("uid=jdoe,o=site"));
        }
    }
}

}  // namespace
