// SieveSimple against scripted servers: silent and closing servers, the
// deactivation before deletion.
#include <gtest/gtest.h>

#include "sieve/SieveSimple.h"
#include "tests/support/ScriptedServer.h"

namespace {

const ReplyWaits kShortWaits{500, 400};

TEST(SieveClient, SilentServerStillConstructsThenAuthenticationTimesOut) {
    ScriptedServer silent({pause(2000)});
    SieveSimple client("127.0.0.1", silent.port(), kShortWaits);
    try {
        client.authenticate("jdoe", "admin", "secret");
        FAIL();
    } catch (const SieveException& e) {
        EXPECT_EQ("Authentication failed: Serverresponse: connection timed out", e.message);
    }
    client.logout();
}

TEST(SieveClient, CloseDuringAuthentication) {
    ScriptedServer closing({send("OK\r\n"), readLine(), closeConnection()});
    SieveSimple client("127.0.0.1", closing.port(), kShortWaits);
    try {
        client.authenticate("jdoe", "admin", "secret");
        FAIL();
    } catch (const SieveException& e) {
        EXPECT_EQ("Authentication failed: Serverresponse: Socket Error", e.message);
    }
}

TEST(SieveClient, ListDeactivateDelete) {
    ScriptedServer server({send("OK\r\n"), readLine(), send("\"a\"\r\n\"b\" ACTIVE\r\nOK\r\n"),
                           readLine(), send("OK\r\n"), readLine(),
                           send("NO (NONEXISTENT) \"Script does not exist\"\r\n")});
    SieveSimple client("127.0.0.1", server.port(), kShortWaits);
    std::list<ListedScript> scripts;
    std::string active;
    client.list(scripts, active);
    EXPECT_EQ("b", active);
    client.deactivate();
    client.del("");
    try {
        client.deleteListed(scripts.front());
        FAIL();
    } catch (const SieveException& e) {
        EXPECT_EQ("delete failed: Serverresponse: NO (NONEXISTENT) \"Script does not exist\"",
                  e.message);
    }
    EXPECT_EQ("listscripts\nsetactive \"\"\ndeletescript \"a\"\n", server.received());
}

// Names go out as one quoted string, escaped once. A name the listing
// reads two ways is deleted by its verbatim reading when the server has no
// script of the first; a name with a line break is refused unsent.
TEST(SieveClient, NamesGoOutEscapedOnce) {
    ScriptedServer server({send("OK\r\n"), readLine(),
                           send("\"my \\\"filter\\\"\"\r\n\"x\\\\y\"\r\n{3}\r\na\nb\r\nOK\r\n"),
                           readLine(), send("OK\r\n"), readLine(),
                           send("NO (NONEXISTENT) \"Script does not exist\"\r\n"), readLine(),
                           send("OK\r\n")});
    {
        SieveSimple client("127.0.0.1", server.port(), kShortWaits);
        std::list<ListedScript> scripts;
        std::string active;
        client.list(scripts, active);
        ASSERT_EQ(3u, scripts.size());
        for (const ListedScript& script : scripts) {
            if (script.name.find('\n') == std::string::npos) {
                client.deleteListed(script);
                continue;
            }
            try {
                client.deleteListed(script);
                FAIL();
            } catch (const SieveException& e) {
                EXPECT_EQ(
                    "delete failed: Serverresponse: the script name holds a line break, which no "
                    "command can carry",
                    e.message);
            }
        }
    }
    EXPECT_EQ(
        "listscripts\ndeletescript \"my \\\"filter\\\"\"\ndeletescript \"x\\\\y\"\n"
        "deletescript \"x\\\\\\\\y\"\n",
        server.received());
}

}  // namespace
