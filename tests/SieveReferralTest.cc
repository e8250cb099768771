// The Sieve stage following referrals between scripted servers: the work is
// done where the user's scripts are, a loop or a long chain ends with the
// Sieve status instead of endless reconnects, and a referral to a host that
// does not resolve ends like a failed connection, naming that host.
#include <gtest/gtest.h>

#include "common/MyException.h"
#include "sieve/SieveReplies.h"
#include "tests/support/Runs.h"
#include "tests/support/ScriptedServer.h"

namespace {

const std::string kGreeting = "\"SASL\" \"PLAIN\"\r\nOK\r\n";

// Logs in, then sends the user to `url` at the listing and hangs up, as
// a server does after BYE.
std::vector<ScriptStep> referring(const std::string& url) {
    return {send(kGreeting),
            readLine(),
            send("OK\r\n"),
            readLine(),
            send("BYE (REFERRAL \"" + url + "\") \"Try Remote.\"\r\n"),
            closeConnection()};
}

MyException removeScripts(int port) {
    return dropInProcess({{"CH", "127.0.0.1"},
                          {"SP", std::to_string(port)},
                          {"al", "admin"},
                          {"ap", "secret"},
                          {"uid", "jdoe"},
                          {"sieve", ""}},
                         ReplyWaits{2000, 1000});
}

// Three hops, the most followed, reach the user's server.
TEST(SieveReferral, FollowedToTheUsersServer) {
    ScriptedServer backend({send(kGreeting), readLine(), send("OK\r\n"), readLine(),
                            send("\"a\"\r\n\"b\" ACTIVE\r\nOK\r\n"), readLine(), send("OK\r\n"),
                            readLine(), send("OK\r\n"), readLine(), send("OK\r\n"), readLine(),
                            send("OK \"Logout Complete\"\r\n")});
    ScriptedServer second(referring("sieve://127.0.0.1:" + backend.portText()));
    ScriptedServer first(referring("sieve://127.0.0.1:" + second.portText()));
    ScriptedServer frontend(referring("sieve://127.0.0.1:" + first.portText()));
    const MyException result = removeScripts(frontend.port());
    EXPECT_EQ(0, result.code) << result.message;
    EXPECT_EQ(
        "AUTHENTICATE \"PLAIN\" \"amRvZQBhZG1pbgBzZWNyZXQ=\"\nlistscripts\nsetactive \"\"\n"
        "deletescript \"a\"\ndeletescript \"b\"\nlogout\n",
        backend.received());
}

TEST(SieveReferral, LoopsChainsAndUnknownHostsEndTheStage) {
    {
        // Without a port the run's own Sieve port counts: back to itself.
        ScriptedServer self(referring("sieve://127.0.0.1"));
        const MyException result = removeScripts(self.port());
        EXPECT_EQ(-51, result.code);
        EXPECT_NE(std::string::npos, result.message.find("(a referral back to 127.0.0.1:" +
                                                         self.portText() + ", not followed)"))
            << result.message;
    }
    {
        ScriptedServer d(referring("sieve://127.0.0.1:1"));
        ScriptedServer c(referring("sieve://127.0.0.1:" + d.portText()));
        ScriptedServer b(referring("sieve://127.0.0.1:" + c.portText()));
        ScriptedServer a(referring("sieve://127.0.0.1:" + b.portText()));
        const MyException result = removeScripts(a.port());
        EXPECT_EQ(-51, result.code);
        EXPECT_NE(std::string::npos, result.message.find("(more than 3 referrals, not followed)"))
            << result.message;
    }
    {
        ScriptedServer a(referring("sieve://backend-b.invalid"));
        const MyException result = removeScripts(a.port());
        EXPECT_EQ(-50, result.code);
        EXPECT_NE(std::string::npos, result.message.find("backend-b.invalid")) << result.message;
    }
}

TEST(SieveReferral, ReadersOnBytes) {
    EXPECT_EQ("sieve://backend-b",
              sieveReferralUrl("BYE (REFERRAL \"sieve://backend-b\") \"Try Remote.\""));
    EXPECT_EQ("sieve://h:4190", sieveReferralUrl("NO (referral \"sieve://h:4190\")"));
    EXPECT_EQ("", sieveReferralUrl("NO (ACTIVE) \"Active script cannot be deleted\""));
    const struct {
        const char* url;
        bool ok;
        const char* host;
        int port;
    } urls[] = {
        {"sieve://backend-b", true, "backend-b", 0},
        {"SIEVE://127.0.0.3:4190/", true, "127.0.0.3", 4190},
        {"sieve://jdoe@[::1]:2000/jdoe/script", true, "::1", 2000},
        {"imap://backend-b", false, "", 0},
        {"sieve://", false, "", 0},
        {"sieve://h:99999", false, "", 0},
        {"sieve://[::1", false, "", 0},
    };
    for (const auto& u : urls) {
        std::string host;
        int port = -1;
        EXPECT_EQ(u.ok, parseSieveUrl(u.url, host, port)) << u.url;
        if (u.ok) {
            EXPECT_EQ(u.host, host) << u.url;
            EXPECT_EQ(u.port, port) << u.url;
        }
    }
}

}  // namespace
