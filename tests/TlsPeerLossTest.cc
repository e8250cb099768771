// TLS IMAP and Sieve servers that vanish (close without a TLS close
// notification) after each command of a removal: the run ends with the
// stage's status and message and logs its audit line; it never aborts.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "tests/support/Process.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/ServerTls.h"

namespace {

struct Exchange {
    std::string reply;  // the answer to the command before it (or the greeting)
    int status;         // when the server vanishes instead of answering
    std::string message;
};

// Plays `conversation` with TLS set up by `opening`, vanishing at `step`.
std::vector<ScriptStep> vanishingAt(const std::vector<ScriptStep>& opening,
                                    const std::vector<Exchange>& conversation, size_t step) {
    std::vector<ScriptStep> script = opening;
    for (size_t i = 0; i < step; ++i) {
        script.push_back(send(conversation[i].reply));
        script.push_back(readLine());
    }
    script.push_back(closeConnection());
    return script;
}

void expectEveryLoss(const std::vector<ScriptStep>& opening,
                     const std::vector<Exchange>& conversation,
                     const std::vector<std::string>& stage) {
    // One file per stage and process: the IMAP and Sieve cases may run at once.
    const std::string capture =
        testing::TempDir() + "/tls-loss-capture" + stage[0] + "-" + std::to_string(getpid());
    for (size_t step = 1; step < conversation.size(); ++step) {
        std::remove(capture.c_str());
        ScriptedServer server(vanishingAt(opening, conversation, step));
        std::vector<std::string> args{
            "-al",  "admin", "-ap",       "secret",  "-uid",
            "jdoe", "-CH",   "127.0.0.1", "-cacert", testCertificate("ca.pem")};
        args.insert(args.end(), stage.begin(), stage.end());
        args.push_back(server.portText());
        const ProcessResult r = runProcess(DROPACCT_BIN, args, "", false, syslogCaptured(capture));
        const Exchange& expected = conversation[step];
        const std::string where = stage[0] + " vanishing at step " + std::to_string(step);
        EXPECT_EQ(expected.status, r.status) << where << ": " << r.out << r.err;
        EXPECT_EQ(expected.message.empty() ? "" : expected.message + "\n", r.out) << where;
        std::ifstream in(capture);
        std::string line;
        std::getline(in, line);
        EXPECT_NE(std::string::npos, line.find("status=" + std::to_string(expected.status)))
            << where << ": " << line;
    }
}

TEST(TlsPeerLoss, ImapServer) {
    const std::string inbox = "could not delete INBOX of user jdoe\nError Message from server: ";
    expectEveryLoss(
        {startTls()},
        {
            {"* OK ready\r\n", 0, ""},
            {"L1 OK\r\n", 214, "IMAP login failed:login failed: Serverresponse: Socket error"},
            {"* LIST () \".\" user.jdoe\r\n* LIST () \".\" shared1\r\nLI3 OK\r\n", 213,
             "could not delete ACLs: list failed: Serverresponse: Socket error"},
            {"* ACL user.jdoe jdoe lrs\r\nGA3 OK\r\n", 213,
             "could not delete ACLs: getacl failed: Serverresponse: Socket error"},
            {"A2 OK\r\n", 213,
             "could not delete ACLs: deleteacl failed: Serverresponse: Socket error"},
            {"* ACL shared1 anyone lrs\r\nGA3 OK\r\n", 213,
             "could not delete ACLs: getacl failed: Serverresponse: Socket error"},
            {"* NAMESPACE NIL ((\"user.\" \".\")) NIL\r\nN1 OK\r\n", 212,
             inbox + "namespace failed: Serverresponse: Socket error"},
            {"D1 OK\r\n", 212, inbox + "delete failed: Serverresponse: Socket error"},
            {"", 0, ""},
        },
        {"-imap", "-imaps", "-CP"});
}

TEST(TlsPeerLoss, SieveServer) {
    const std::string scripts = "Could not delete filterscript of user: jdoe\nError message: ";
    expectEveryLoss(
        {send("\"SASL\" \"PLAIN\"\r\n\"STARTTLS\"\r\nOK\r\n"), readLine(), send("OK\r\n"),
         startTls()},
        {
            {"\"SASL\" \"PLAIN\"\r\nOK\r\n", 0, ""},
            {"OK\r\n", 205, scripts + "Authentication failed: Serverresponse: Socket Error"},
            {"\"a\"\r\n\"b\" ACTIVE\r\nOK\r\n", 205,
             scripts + "listscripts failed: Serverresponse: Socket Error"},
            {"OK\r\n", 205, scripts + "setactive failed: Serverresponse: Socket Error"},
            {"OK\r\n", 205, scripts + "delete failed: Serverresponse: Socket Error"},
            {"OK\r\n", 205, scripts + "delete failed: Serverresponse: Socket Error"},
            {"", 0, ""},
        },
        {"-sieve", "-tls", "-SP"});
}

}  // namespace
