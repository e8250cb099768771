// STARTTLS in both clients against scripted servers that do not offer it,
// refuse it, or slip bytes in before the handshake: each run ends before a
// credential is sent, with what was sent recorded. And the capability
// readers on bytes alone.
#include <gtest/gtest.h>

#include "imap/IMAPSimple.h"
#include "sieve/SieveSimple.h"
#include "tests/support/ScriptedServer.h"
#include "wire/TlsChannel.h"

namespace {

const ReplyWaits kShortWaits{500, 400};

TEST(StartTls, ImapNeverFallsBackToClearText) {
    const struct {
        std::vector<ScriptStep> script;
        const char* message;
        const char* sent;
    } cases[] = {
        {{send("* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] ready\r\n"), pause(300)},
         "starttls failed: Serverresponse: the server does not offer STARTTLS",
         ""},
        {{send("* OK ready\r\n"), readLine(), send("T1 BAD unknown command\r\n")},
         "starttls failed: Serverresponse: BAD unknown command\r",
         "T1 starttls\n"},
        {{send("* OK [CAPABILITY IMAP4rev1 STARTTLS] ready\r\n"), readLine(),
          send("T1 OK begin\r\n* injected\r\n"), pause(300)},
         "starttls failed: Serverresponse: the server sent data before the TLS handshake",
         "T1 starttls\n"},
        {{send("* OK ready\r\n"), readLine(), send("T1 OK begin\r\nnot a handshake\r\n")},
         nullptr,
         "T1 starttls\n"},
    };
    for (const auto& c : cases) {
        ScriptedServer server(c.script);
        IMAPSimple client("127.0.0.1", server.port(), kShortWaits);
        try {
            client.startTls(TlsSettings{"", "", "127.0.0.1"});
            ADD_FAILURE() << c.sent;
        } catch (const IMAPException& e) {
            if (c.message) {
                EXPECT_EQ(c.message, e.message);
            }
        }
        // The session is over: no command, no credential goes out.
        EXPECT_ANY_THROW(client.login("admin", "secret"));
        client.logout();
        EXPECT_EQ(c.sent, server.received());
    }
}

TEST(StartTls, ImapLoginRefusedForWantOfTls) {
    ScriptedServer disabled({send("* OK [CAPABILITY IMAP4rev1 STARTTLS LOGINDISABLED] x\r\n")});
    {
        IMAPSimple client("127.0.0.1", disabled.port(), kShortWaits);
        EXPECT_THROW(client.login("admin", "secret"), IMAPException);
        EXPECT_THROW(client.authenticate("jdoe", "admin", "secret"), IMAPException);
    }
    EXPECT_EQ("", disabled.received());

    ScriptedServer layer(
        {send("* OK ready\r\n"), readLine(), send("L1 NO Login only available under a layer\r\n")});
    IMAPSimple second("127.0.0.1", layer.port(), kShortWaits);
    try {
        second.login("admin", "secret");
        FAIL();
    } catch (const IMAPException& e) {
        EXPECT_EQ(
            "login failed: Serverresponse: NO Login only available under a layer\r (the "
            "server wants TLS: use -tls or -imaps)",
            e.message);
    }
}

TEST(StartTls, SieveNeverFallsBackToClearText) {
    const struct {
        std::vector<ScriptStep> script;
        const char* message;
        const char* sent;
    } cases[] = {
        {{send("\"SASL\" \"PLAIN\"\r\nOK\r\n"), pause(300)},
         "starttls failed: Serverresponse: the server does not offer STARTTLS",
         ""},
        {{send("\"SASL\" \"\"\r\n\"STARTTLS\"\r\nOK\r\n"), readLine(),
          send("NO \"Error initializing TLS\"\r\n")},
         "starttls failed: Serverresponse: NO Error initializing TLS",
         "STARTTLS\n"},
    };
    for (const auto& c : cases) {
        ScriptedServer server(c.script);
        SieveSimple client("127.0.0.1", server.port(), kShortWaits);
        try {
            client.startTls(TlsSettings{"", "", "127.0.0.1"});
            ADD_FAILURE() << c.message;
        } catch (const SieveException& e) {
            EXPECT_EQ(c.message, e.message);
        }
        client.logout();
        EXPECT_EQ(c.sent, server.received());
    }
}

TEST(CapabilityReaders, ImapCapabilityCode) {
    const ImapCapabilities greeting =
        parseCapabilityCode("* OK [CAPABILITY IMAP4rev1 starttls LOGINDISABLED] ready\r");
    EXPECT_TRUE(greeting.known);
    EXPECT_TRUE(greeting.has("STARTTLS"));
    EXPECT_TRUE(greeting.has("LOGINDISABLED"));
    EXPECT_FALSE(greeting.has("AUTH=PLAIN"));
    EXPECT_FALSE(parseCapabilityCode("* OK ready\r").known);
    EXPECT_FALSE(parseCapabilityCode("* OK [CAPABILITY IMAP4rev1 STARTTLS").known);
}

TEST(CapabilityReaders, SieveCapabilities) {
    const struct {
        const char* bytes;
        int result;
        bool startTls, saslListed, unauthenticate;
        const char* sasl;
    } cases[] = {
        {"\"IMPLEMENTATION\" \"Cyrus\"\r\n\"SASL\" "
         "\"\"\r\n\"STARTTLS\"\r\n\"UNAUTHENTICATE\"\r\nOK\r\n",
         0, true, true, true, ""},
        {"\"sasl\" \"PLAIN LOGIN\"\r\n\"VERSION\" \"1.0\"\r\nOK\r\n", 0, false, true, false,
         "PLAIN LOGIN"},
        {"\"SASL\" \"PL\\\"AIN\"\r\nOK\r\n", 0, false, true, false, "PL\"AIN"},
        {"\"STARTTLS\r\nNO \"busy\"\r\n", -1, false, false, false, ""},
        {"\"SASL\" \"PLAIN\"\r\n", -3, false, true, false, "PLAIN"},
    };
    for (const auto& c : cases) {
        BufferLineSource source(c.bytes);
        SieveCapabilities capabilities;
        std::string message;
        EXPECT_EQ(c.result, readSieveCapabilities(source, capabilities, message, ReplyWaits()))
            << c.bytes;
        EXPECT_EQ(c.startTls, capabilities.startTls) << c.bytes;
        EXPECT_EQ(c.saslListed, capabilities.saslListed) << c.bytes;
        EXPECT_EQ(c.unauthenticate, capabilities.unauthenticate) << c.bytes;
        EXPECT_EQ(c.sasl, capabilities.sasl) << c.bytes;
    }
}

}  // namespace
