// The pipelined ACL commands of batch mode: against scripted servers for
// what travels on the wire, and on bytes alone for the window rules. The
// one-at-a-time commands keep their bytes: ImapClientTest pins them.
#include <gtest/gtest.h>

#include "imap/AclPipeline.h"
#include "imap/AclSweep.h"
#include "imap/IMAPSimple.h"
#include "tests/support/ScriptedServer.h"

namespace {

const ReplyWaits kShortWaits{500, 400};
const std::string kLoggedIn = "L1 login admin \"pw\"\n";

std::vector<ScriptStep> loginThen(std::vector<ScriptStep> steps) {
    std::vector<ScriptStep> script{send("* OK ready\r\n"), readLine(), send("L1 OK\r\n")};
    script.insert(script.end(), steps.begin(), steps.end());
    return script;
}

// Replies cut mid-line, a refused GETACL in the middle of the window, a
// name that needs quoting, ACL lines matched by the name they carry.
TEST(AclSweep, ReadsEveryMailboxOfTheWindowAndKeepsRefusalsApart) {
    const std::string quoted = "shared \"two\"";
    ScriptedServer server(
        loginThen({readLine(), readLine(), readLine(), send("* ACL shared.a jdoe lrs\r\nG1 O"),
                   pause(50), send("K\r\n* ACL \"shared \\\"tw"), pause(50),
                   send("o\\\"\" anyone lr jdoe lrswi\r\nG2 OK\r\nG3 NO Permission denied\r\n"),
                   readLine(), send("* ACL user.bob bob lrswipkxtecda\r\nG4 OK Completed\r\n")}));
    {
        IMAPSimple client("127.0.0.1", server.port(), kShortWaits);
        client.login("admin", "pw");
        AclSweep sweep(client, 3);
        std::vector<size_t> progress;
        sweep.progress = [&progress](size_t done, size_t total) {
            EXPECT_EQ(4u, total);
            progress.push_back(done);
        };
        const std::vector<MailboxAcl> acls =
            sweep.sweep({"shared.a", quoted, "shared.c", "user.bob"});
        ASSERT_EQ(4u, acls.size());
        EXPECT_EQ("", acls[0].failure);
        EXPECT_EQ("jdoe", acls[0].acls.front().identifier);
        EXPECT_EQ(1u, acls[0].acls.size());
        EXPECT_EQ("", acls[1].failure);
        ASSERT_EQ(2u, acls[1].acls.size());
        EXPECT_EQ("lrswi", acls[1].acls.back().rights);
        EXPECT_EQ("getacl failed: Serverresponse: NO Permission denied\r", acls[2].failure);
        EXPECT_TRUE(acls[2].acls.empty());
        EXPECT_EQ("bob", acls[3].acls.front().identifier);
        EXPECT_EQ((std::vector<size_t>{1, 2, 3, 4}), progress);
    }
    EXPECT_EQ(kLoggedIn +
                  "G1 getacl \"shared.a\"\nG2 getacl \"shared \\\"two\\\"\"\n"
                  "G3 getacl \"shared.c\"\nG4 getacl \"user.bob\"\n",
              server.received());
}

// IMAP lets a server answer pipelined commands in any order: here the second
// mailbox's ACL comes first and the completions come last to first. Each
// rights list must still land with the mailbox it names, not with the
// oldest command in flight.
TEST(AclSweep, RepliesOutOfOrderLandWithTheirOwnMailbox) {
    ScriptedServer server(
        loginThen({readLine(), readLine(), send("* ACL shared.b bob lr anyone l\r\n"),
                   send("* ACL shared.a jdoe lrswi\r\n"), send("G2 OK\r\nG1 OK\r\n")}));
    IMAPSimple client("127.0.0.1", server.port(), kShortWaits);
    client.login("admin", "pw");
    const std::vector<MailboxAcl> acls = AclSweep(client, 2).sweep({"shared.a", "shared.b"});
    ASSERT_EQ(2u, acls.size());
    EXPECT_EQ("", acls[0].failure);
    EXPECT_EQ("", acls[1].failure);
    const auto entries = [](const MailboxAcl& acl) {
        std::vector<std::string> texts;
        for (const IMAPAcl& entry : acl.acls) {
            texts.push_back(entry.identifier + " " + entry.rights);
        }
        return texts;
    };
    EXPECT_EQ((std::vector<std::string>{"jdoe lrswi"}), entries(acls[0]));
    EXPECT_EQ((std::vector<std::string>{"bob lr", "anyone l"}), entries(acls[1]));
}

TEST(AclSweep, ByeInTheWindowFailsTheWholeSweep) {
    ScriptedServer server(
        loginThen({readLine(), readLine(), send("* ACL a jdoe lrs\r\nG1 OK\r\n"), readLine(),
                   send("* BYE Fatal error: shutting down\r\n"), closeConnection()}));
    IMAPSimple client("127.0.0.1", server.port(), kShortWaits);
    client.login("admin", "pw");
    try {
        AclSweep(client, 2).sweep({"a", "b", "c"});
        FAIL();
    } catch (const IMAPException& e) {
        EXPECT_EQ("getacl failed: Serverresponse: BYE Fatal error: shutting down\r", e.message);
    }
}

TEST(AclSweep, RemovalsGoOutPipelinedAndAnswerEach) {
    ScriptedServer server(loginThen({readLine(), readLine(), send("R1 OK\r\nR2 NO denied\r\n"),
                                     readLine(), send("R3 OK\r\n")}));
    {
        IMAPSimple client("127.0.0.1", server.port(), kShortWaits);
        client.login("admin", "pw");
        const std::vector<std::string> failures =
            AclSweep(client).deleteAcls({{"m1", "jdoe"}, {"m1", "a n"}, {"", "x"}, {"m2", "jdoe"}});
        EXPECT_EQ(
            (std::vector<std::string>{"", "", "", "deleteacl failed: Serverresponse: NO denied\r"}),
            failures);
    }
    EXPECT_EQ(kLoggedIn +
                  "R1 deleteacl \"m1\" jdoe\nR2 deleteacl \"m2\" jdoe\n"
                  "R3 deleteacl \"m1\" \"a n\"\n",
              server.received());
}

// When each command goes out, on bytes alone: never more than the window
// in flight, never two on one mailbox, and a failed send ends the run once
// what went out is answered.
TEST(AclPipeline, WindowAndOneCommandPerMailbox) {
    struct Case {
        size_t window;
        std::vector<PipelinedCommand> commands;
        std::string replies;
        bool sendFailsAtThird;
        std::vector<std::string> sent;  // each line with the replies settled before it
    };
    const std::vector<Case> cases = {
        {2,
         {{"a", "x"}, {"b", "x"}, {"c", "x"}, {"d", "x"}},
         "T1 OK\r\nT2 OK\r\nT3 OK\r\nT4 OK\r\n",
         false,
         {"0 T1 x", "0 T2 x", "1 T3 x", "2 T4 x"}},
        {8,
         {{"a", "x"}, {"a", "y"}, {"b", "x"}, {"a", "z"}},
         "T1 OK\r\nT2 OK\r\nT3 OK\r\nT4 OK\r\n",
         false,
         {"0 T1 x", "0 T2 x", "1 T3 y", "3 T4 z"}},
        {8, {{"a", "x"}, {"b", "x"}, {"c", "x"}}, "T1 OK\r\nT2 OK\r\n", true, {"0 T1 x", "0 T2 x"}},
    };
    for (const Case& c : cases) {
        BufferLineSource source(c.replies);
        std::vector<std::string> sent;
        size_t settled = 0;
        unsigned long tags = 0;
        AclPipeline pipeline(
            source,
            [&](const std::string& line) {
                if (c.sendFailsAtThird && sent.size() == 2) {
                    return false;
                }
                sent.push_back(std::to_string(settled) + " " + line);
                return true;
            },
            kShortWaits, "getacl", "T", tags, c.window);
        const auto run = [&] { return pipeline.run(c.commands, [&](size_t n) { settled = n; }); };
        if (c.sendFailsAtThird) {
            EXPECT_THROW(run(), IMAPException);
        } else {
            for (const PipelinedReply& reply : run()) {
                EXPECT_EQ(kImapOk, reply.result);
            }
        }
        EXPECT_EQ(c.sent, sent) << "window " << c.window;
    }
}

}  // namespace
