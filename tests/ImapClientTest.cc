// IMAPSimple against scripted servers: exact bytes on the wire, waits,
// closed connections and the SASL PLAIN exchange.
#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <sstream>

#include "imap/IMAPSimple.h"
#include "tests/support/ScriptedServer.h"

namespace {

const ReplyWaits kShortWaits{500, 400};
const std::string kGreeting = "* OK ready\r\n";

// Standard error caught while this lives, and given back even when a
// failure or an exception ends the test early: a stream left pointing at
// a destroyed buffer would crash the test program instead of failing it.
class CapturedStandardError {
  public:
    CapturedStandardError() : saved_(std::cerr.rdbuf(text_.rdbuf())) {}
    ~CapturedStandardError() { std::cerr.rdbuf(saved_); }
    std::string text() const { return text_.str(); }

  private:
    std::stringstream text_;
    std::streambuf* const saved_;
};

TEST(ImapClient, LoginAndLogoutOnTheWire) {
    ScriptedServer server({send(kGreeting), readLine(), send("L1 OK logged in\r\n"), readLine(),
                           send("* BYE LOGOUT received\r\nL2 OK Completed\r\n")});
    {
        IMAPSimple client("127.0.0.1", server.port(), kShortWaits);
        client.login("admin", IMAPSimple::escapeString("se\"cret"));
        client.logout();
    }
    EXPECT_EQ("L1 login admin \"se\\\"cret\"\nL2 logout\n", server.received());
}

TEST(ImapClient, RefusedLoginCarriesTheServerText) {
    ScriptedServer server(
        {send(kGreeting), readLine(), send("L1 NO Login failed: authentication failure\r\n")});
    IMAPSimple client("127.0.0.1", server.port(), kShortWaits);
    try {
        client.login("admin", "wrong");
        FAIL();
    } catch (const IMAPException& e) {
        EXPECT_EQ("login failed: Serverresponse: NO Login failed: authentication failure\r",
                  e.message);
    }
}

TEST(ImapClient, SilentAndClosingServers) {
    {
        ScriptedServer silent({readLine(), pause(1200)});
        IMAPSimple client("127.0.0.1", silent.port(), kShortWaits);
        try {
            client.login("admin", "pw");
            FAIL();
        } catch (const IMAPException& e) {
            EXPECT_EQ("login failed: Serverresponse: connection timed out", e.message);
        }
    }
    {
        ScriptedServer closing({send(kGreeting), readLine(), closeConnection()});
        IMAPSimple client("127.0.0.1", closing.port(), kShortWaits);
        try {
            client.del("user.jdoe");
            FAIL();
        } catch (const IMAPException& e) {
            EXPECT_EQ("delete failed: Serverresponse: Socket error", e.message);
        }
        client.logout();  // on a closed connection: no exception
    }
    {
        // A line cut short stops the reader after one wait, never hangs it.
        ScriptedServer truncated({send("* OK rea"), readLine(), pause(1200)});
        IMAPSimple client("127.0.0.1", truncated.port(), kShortWaits);
        EXPECT_THROW(client.create("x"), IMAPException);
    }
}

TEST(ImapClient, CommandsAndTheirArgumentChecks) {
    ScriptedServer server({send(kGreeting), readLine(), send("C1 OK\r\n"), readLine(),
                           send("+ go on\r\n"), readLine(), send("A2 OK\r\n"), readLine(),
                           send("Q1 OK\r\n"), readLine(), send("S1 OK\r\n")});
    IMAPSimple client("127.0.0.1", server.port(), kShortWaits);
    client.create("shared \"two\" \\ three");
    client.del("");
    client.setACL("m", "jdoe", "");
    client.setACL("m", "jdoe", "lrs");  // answered with a continuation: success
    client.deleteACL("a\\b", "jd\"oe");
    client.setQuota("m", "STORAGE", -1);
    client.setQuota("m", "STORAGE", 0);
    client.subscribe("m");
    EXPECT_THROW(client.del("user.x\r\nD1 delete \"user.alice\""), IMAPException);
    try {
        client.del(std::string("user.x\0y", 8));
        FAIL();
    } catch (const IMAPException& e) {
        EXPECT_EQ("delete failed: Serverresponse: a NUL byte in a command refused", e.message);
    }
    EXPECT_EQ(
        // Each name as one quoted string, escaped once; an identifier too
        // unless it is an atom.
        "C1 create \"shared \\\"two\\\" \\\\ three\"\nA1 setacl \"m\" jdoe lrs\n"
        "A2 deleteacl \"a\\\\b\" \"jd\\\"oe\"\n"
        "Q1 setquota \"m\" (STORAGE 0)\nS1 subscribe \"m\"\n",
        server.received());
}

TEST(ImapClient, AuthenticateSendsExactlyThePlainMessage) {
    ScriptedServer server(
        {send(kGreeting), readLine(), send("+ \r\n"), readLine(), send("A1 OK Success\r\n")});
    {
        IMAPSimple client("127.0.0.1", server.port(), kShortWaits);
        client.authenticate("jdoe", "admin", "secret");
    }
    // base64("jdoe\0admin\0secret")
    EXPECT_EQ("A1 AUTHENTICATE PLAIN\namRvZQBhZG1pbgBzZWNyZXQ=\n", server.received());
}

// -debug shows the commands as sent, but never the password or the PLAIN
// message that holds it.
TEST(ImapClient, TraceHidesEverySecret) {
    const struct {
        std::vector<ScriptStep> script;
        std::function<void(IMAPSimple&)> run;
        std::string shown;
    } cases[] = {
        {{send(kGreeting), readLine(), send("L1 OK\r\n")},
         [](IMAPSimple& client) { client.login("admin", "secret"); },
         "    << L1 login admin ***\n    >> OK \n"},
        {{send(kGreeting), readLine(), send("+ \r\n"), readLine(), send("A1 OK\r\n")},
         [](IMAPSimple& client) { client.authenticate("jdoe", "admin", "secret"); },
         "    << A1 AUTHENTICATE PLAIN\n    >> + \r\n    << ***\n    >> OK \n"},
    };
    for (const auto& c : cases) {
        ScriptedServer server(c.script);
        IMAPSimple client("127.0.0.1", server.port(), kShortWaits);
        client.debug = true;
        testing::internal::CaptureStderr();
        c.run(client);
        const std::string trace = testing::internal::GetCapturedStderr();
        EXPECT_EQ(c.shown, trace);
        EXPECT_EQ(std::string::npos, trace.find("secret"));
        EXPECT_EQ(std::string::npos, trace.find("amRvZQBhZG1pbgBzZWNyZXQ="));
    }
}

TEST(ImapClient, AuthenticateFailures) {
    {
        ScriptedServer refused({send(kGreeting), readLine(), send("+ \r\n"), readLine(),
                                send("A1 NO authentication failure\r\n")});
        IMAPSimple client("127.0.0.1", refused.port(), kShortWaits);
        try {
            client.authenticate("jdoe", "admin", "wrong");
            FAIL();
        } catch (const IMAPException& e) {
            EXPECT_EQ("Authentication failed: Serverresponse: NO authentication failure\r",
                      e.message);
        }
    }
    {
        ScriptedServer again(
            {send(kGreeting), readLine(), send("+ \r\n"), readLine(), send("+ more\r\n")});
        IMAPSimple client("127.0.0.1", again.port(), kShortWaits);
        try {
            client.authenticate("jdoe", "admin", "pw");
            FAIL();
        } catch (const IMAPException& e) {
            EXPECT_EQ("Authentication failed: Serverresponse: + more\r", e.message);
        }
    }
    {
        // Accepted at once: the credentials are not sent.
        ScriptedServer atOnce({send(kGreeting), readLine(), send("A1 OK\r\n")});
        {
            IMAPSimple client("127.0.0.1", atOnce.port(), kShortWaits);
            client.authenticate("jdoe", "admin", "pw");
        }
        EXPECT_EQ("A1 AUTHENTICATE PLAIN\n", atOnce.received());
    }
}

TEST(ImapClient, ParsedRepliesThroughTheClient) {
    ScriptedServer server(
        {send(kGreeting), readLine(), send("L1 OK\r\n"), readLine(),
         send("* LIST (\\HasChildren) \".\" user.jdoe\r\n* LIST () \".\" \"shared two\"\r\n"
              "LI3 OK\r\n"),
         // An unsolicited status line amid the ACL reply is passed over.
         readLine(),
         send("* OK [ALERT] back at six\r\n* ACL \"shared two\" anyone lrs jdoe lrs\r\nGA3 OK\r\n"),
         readLine(), send("* NAMESPACE NIL ((\"user.\" \".\")) ((\"\" \".\"))\r\nN1 OK\r\n")});
    {
        IMAPSimple client("127.0.0.1", server.port(), kShortWaits);
        client.login("admin", "pw");  // consumes the greeting, which LIST would not parse
        const std::list<IMAPFolder> folders = client.list("\"\"", "*");
        ASSERT_EQ(2u, folders.size());
        EXPECT_EQ("shared two", folders.back().name);
        EXPECT_EQ(2u, client.getACL("shared two").size());
        EXPECT_EQ("user.", client.Namespace().otherUsers.front().prefix);
    }
    EXPECT_EQ("L1 login admin \"pw\"\nLI3 list \"\" *\nGA3 getacl \"shared two\"\nN1 namespace\n",
              server.received());
}

// Names as LIST and NAMESPACE send them (escaped) go back escaped once,
// not twice; with debug, the bad NAMESPACE line is the last one traced.
TEST(ImapClient, NamesFromRepliesAreEscapedOnce) {
    ScriptedServer server(
        {send(kGreeting), readLine(), send("L1 OK\r\n"), readLine(),
         send("* LIST () \".\" \"shared.a\\\\b \\\"q\\\"\"\r\nLI3 OK\r\n"), readLine(),
         send("* ACL \"shared.a\\\\b \\\"q\\\"\" jdoe lrs\r\nGA3 OK\r\n"), readLine(),
         send("A2 OK\r\n"), readLine(),
         send("* NAMESPACE NIL ((\"us\\\\er.\" \".\")) NIL\r\nN1 OK\r\n"), readLine(),
         send("D1 OK\r\n"), readLine(),
         send("* NAMESPACE NIL ((\"broken\r\n* NAMESPACE NIL NIL NIL\r\nN1 OK\r\n")});
    const CapturedStandardError trace;
    {
        IMAPSimple client("127.0.0.1", server.port(), kShortWaits);
        client.login("admin", "pw");
        const std::list<IMAPFolder> folders = client.list("\"\"", "*");
        ASSERT_EQ(1u, folders.size());
        EXPECT_EQ("shared.a\\b \"q\"", folders.front().name);
        EXPECT_EQ(1u, client.getACL(folders.front().name).size());
        client.deleteACL(folders.front().name, "jdoe");
        const IMAPNamespaceSet namespaces = client.Namespace();
        EXPECT_EQ("us\\er.", namespaces.otherUsers.front().prefix);
        client.del(namespaces.otherUsers.front().prefix + "jdoe");
        client.debug = true;
        EXPECT_THROW(client.Namespace(), IMAPException);
    }
    EXPECT_EQ(
        "L1 login admin \"pw\"\nLI3 list \"\" *\nGA3 getacl \"shared.a\\\\b \\\"q\\\"\"\n"
        "A2 deleteacl \"shared.a\\\\b \\\"q\\\"\" jdoe\nN1 namespace\n"
        "D1 delete \"us\\\\er.jdoe\"\nN1 namespace\n",
        server.received());
    const std::string shown = trace.text();
    EXPECT_EQ("* NAMESPACE NIL ((\"broken\r\n", shown.substr(shown.rfind("        << ") + 11));
}

}  // namespace
