// modacct runs that meet other changes of the same account: runs started
// together each keep their change, a password change that meets a lock
// leaves the account locked, a card changed meanwhile follows its entry,
// memberships already as wanted count as done, a put-back leaves what
// another change made since, and a refusal of an unchanged entry is the
// directory's word, not a conflict to try again.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "tests/support/AccountRuns.h"
#include "tests/support/DroppingProxy.h"

namespace {

class ModAcctConcurrency : public ::testing::Test {
  protected:
    // An account as newacct makes it (calendar and groupware), in users.
    void account(const std::string& login, const std::vector<std::string>& more = {}) {
        ASSERT_EQ(
            0, runNewacct(joined(adminArgs(slapd),
                                 joined({"-uid", login, "-sn", "Doe", "-givenname", "John", "-up",
                                         "Old-Pw-1", "-o", "O", "-c", "DE", "-class", "users"},
                                        more)))
                   .status);
    }
    // modacct through `proxy`, or straight to the directory.
    ProcessResult modacct(const std::vector<std::string>& args,
                          const DroppingProxy* proxy = nullptr) {
        if (!proxy)
            return runModacct(joined(adminArgs(slapd), args));
        return runModacct(joined({"-H", "127.0.0.1", "-P", proxy->portText(), "-bDN", "o=site",
                                  "-al", "admin", "-ap", "secret"},
                                 args));
    }
    std::set<std::string> values(const std::string& dn, const std::string& name) const {
        return entryValues(slapd, dn)[name];
    }
    std::vector<std::string> classes(const std::string& login) const {
        std::vector<std::string> dns = slapd.holders("(memberUid=" + login + ")");
        std::sort(dns.begin(), dns.end());
        return dns;
    }

    // With a group every change of which the directory refuses (testenv/slapd.sh).
    Slapd slapd{
        "dn: cn=readonly-7z,o=site\nobjectClass: posixGroup\ncn: readonly-7z\n"
        "gidNumber: 3007\n"};
};

TEST_F(ModAcctConcurrency, TwentyRunsOnOneAccountEachKeepTheirChange) {
    account("pupil");
    std::vector<std::vector<std::string>> runs;
    std::set<std::string> aliases;
    for (int i = 1; i <= 18; ++i) {
        runs.push_back(
            joined(adminArgs(slapd), {"-uid", "pupil", "-addalias", "pal" + std::to_string(i)}));
        aliases.insert(": pal" + std::to_string(i));
    }
    for (const char* name : {"staff", "audio"})
        runs.push_back(joined(adminArgs(slapd), {"-uid", "pupil", "-addclass", name}));
    for (const ProcessResult& r : runTogether(MODACCT_BIN, runs))
        EXPECT_EQ(0, r.status) << r.out;
    EXPECT_EQ(aliases, values("uid=pupil,o=site", "alias"));
    EXPECT_EQ((std::vector<std::string>{"cn=audio,o=site", "cn=staff,o=site", "cn=users,o=site"}),
              classes("pupil"));
    EXPECT_EQ((std::set<std::string>{": 100", ": 29", ": 50"}),
              values("uid=pupil,o=site", "plendarGroupID"));
}

// The lock lands between the password change's read and its write (the
// write is request 4: after the bind, the account and its groups), then
// both go at once: the new password is always stored locked, and unlocking
// opens the account with it.
TEST_F(ModAcctConcurrency, APasswordChangeThatMeetsALockLeavesTheAccountLocked) {
    account("jdoe");
    const std::string dn = "uid=jdoe,o=site";
    const auto lockedWith = [&](const std::string& password) {
        EXPECT_FALSE(slapd.binds(dn, password));
        EXPECT_EQ(std::set<std::string>{": I"}, values(dn, "phpgwAccountStatus"));
        EXPECT_EQ(0, modacct({"-uid", "jdoe", "-unlock"}).status);
        EXPECT_TRUE(slapd.binds(dn, password)) << password;
    };
    {
        DroppingProxy proxy(slapd.port(), 0, DroppingProxy::BeforeRequest, [&](int request) {
            if (request == 4) {
                EXPECT_EQ(0, modacct({"-uid", "jdoe", "-lock"}).status);
            }
        });
        const ProcessResult r = modacct({"-uid", "jdoe", "-up", "New-Pw-0"}, &proxy);
        EXPECT_EQ(0, r.status) << r.out;
    }
    lockedWith("New-Pw-0");
    for (int round = 1; round <= 5; ++round) {
        const std::string password = "New-Pw-" + std::to_string(round);
        for (const ProcessResult& r :
             runTogether(MODACCT_BIN, {joined(adminArgs(slapd), {"-uid", "jdoe", "-up", password}),
                                       joined(adminArgs(slapd), {"-uid", "jdoe", "-lock"})}))
            EXPECT_EQ(0, r.status) << r.out;
        lockedWith(password);
    }
}

// Another run renames jdoe (given name, cn, card) between jdoe's own write
// of the surname and its card's (requests 5 and 6): the card's write is
// refused, and the card read again follows the entry as it is now.
TEST_F(ModAcctConcurrency, ACardChangedMeanwhileFollowsItsEntry) {
    account("jdoe");
    const std::string card = "uid=jdoe:system,o=AddressBook,o=site";
    DroppingProxy proxy(slapd.port(), 0, DroppingProxy::BeforeRequest, [&](int request) {
        if (request == 6)
            slapd.modify(
                "dn: uid=jdoe,o=site\nchangetype: modify\nreplace: givenName\ngivenName: Jack\n-\n"
                "replace: cn\ncn: Jack Smith\n\ndn: " +
                card +
                "\nchangetype: modify\nreplace: givenName\ngivenName: Jack\n-\nreplace: sn\n"
                "sn: Smith\n-\nreplace: cn\ncn: Jack Smith\n");
    });
    const ProcessResult r = modacct({"-uid", "jdoe", "-sn", "Smith"}, &proxy);
    EXPECT_EQ(0, r.status) << r.out;
    for (const char* name : {"sn", "givenName", "cn"})
        EXPECT_EQ(values("uid=jdoe,o=site", name), values(card, name)) << name;
    EXPECT_EQ(std::set<std::string>{": Jack Smith"}, values(card, "cn"));
}

// Two accounts move from users to staff in one batch; before the groups are
// written (request 7: after the bind, the accounts, their groups, the group
// to join and the two entries), another run has taken m1 out of users and
// put m2 in staff. The batch's modify of each group is refused, and each
// member's own change then finds m1 gone and m2 there: as wanted.
TEST_F(ModAcctConcurrency, MembershipsAlreadyAsWantedCountAsDone) {
    account("m1");
    account("m2");
    const std::string roster = testing::TempDir() + "/memberships-" + slapd.portText() + ".csv";
    std::ofstream(roster) << "uid;class\nm1;staff\nm2;staff\n";
    DroppingProxy proxy(slapd.port(), 0, DroppingProxy::BeforeRequest, [&](int request) {
        if (request == 7)
            slapd.modify(
                "dn: cn=users,o=site\nchangetype: modify\ndelete: memberUid\nmemberUid: m1\n\n"
                "dn: cn=staff,o=site\nchangetype: modify\nadd: memberUid\nmemberUid: m2\n");
    });
    const ProcessResult r = modacct({"-batch", roster}, &proxy);
    std::remove(roster.c_str());
    EXPECT_EQ(0, r.status) << r.out;
    EXPECT_EQ("0\tclass", resultLines(r.out)["m1"]);
    EXPECT_EQ("0\tclass", resultLines(r.out)["m2"]);
    for (const char* login : {"m1", "m2"})
        EXPECT_EQ(std::vector<std::string>{"cn=staff,o=site"}, classes(login)) << login;
}

// The user entry is written, the group then refuses; meanwhile (before the
// first group's modify, request 7) another change replaced the surname.
// The put-back restores cn, which is still as the run wrote it, and leaves
// the other change's surname, naming it.
TEST_F(ModAcctConcurrency, APutBackLeavesWhatChangedSince) {
    account("pw1", {"-groupware", "phpgw"});
    DroppingProxy proxy(slapd.port(), 0, DroppingProxy::BeforeRequest, [&](int request) {
        if (request == 7)
            slapd.modify("dn: uid=pw1,o=site\nchangetype: modify\nreplace: sn\nsn: Other\n");
    });
    const ProcessResult r =
        modacct({"-uid", "pw1", "-sn", "Q", "-class", "readonly-7z", "-class", "staff"}, &proxy);
    EXPECT_EQ(242, r.status);
    EXPECT_NE(std::string::npos,
              r.out.find("; its changes were put back, except what has changed since: sn in "
                         "uid=pw1,o=site\n"))
        << r.out;
    EXPECT_EQ(std::set<std::string>{": Other"}, values("uid=pw1,o=site", "sn"));
    EXPECT_EQ(std::set<std::string>{": John Doe"}, values("uid=pw1,o=site", "cn"));
    EXPECT_EQ(std::vector<std::string>{"cn=users,o=site"}, classes("pw1"));
}

// The directory's uniqueness overlay refuses a mail address another entry
// holds (19, as a single-valued attribute given a value meanwhile would
// be): the entry read again is as it was, so the run ends with the refusal
// instead of trying again until it gives up.
TEST(ModAcctRefusal, ARefusalOfAnUnchangedEntryIsTheDirectorysWord) {
    Slapd slapd{std::string(), std::string(), Slapd::uniquenessOverlay()};
    for (const char* login : {"jdoe", "office"}) {
        ASSERT_EQ(0, runNewacct(joined(adminArgs(slapd),
                                       {"-uid", login, "-sn", "S", "-up", "pw", "-o", "O", "-c",
                                        "DE", "-mail", std::string(login) + "@example.org"}))
                         .status);
    }
    slapd.modify(
        "dn: uid=office,o=site\nchangetype: modify\nreplace: mail\n"
        "mail: front-desk@example.org\n");
    const ProcessResult r =
        runModacct(joined(adminArgs(slapd), {"-uid", "jdoe", "-mail", "front-desk@example.org"}));
    EXPECT_EQ(242, r.status);
    EXPECT_EQ(0u, r.out.find("failed to change entry uid=jdoe,o=site: Constraint violation"))
        << r.out;
}

}  // namespace
