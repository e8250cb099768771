// Every step of the IMAP and Sieve stages against a server that closes the
// connection, stays silent, refuses, talks garbage or sends an overlong
// line: each run ends with its stage's status and message, in time, and
// without a crash. The stages run in-process with shortened reply waits.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/MyException.h"
#include "tests/support/Runs.h"
#include "tests/support/ScriptedServer.h"

namespace {

const ReplyWaits kShortWaits{500, 400};

enum class Fault { Close, Silent, No, Bad, Garbage, Overlong };
const Fault kFaults[] = {Fault::Close, Fault::Silent,  Fault::No,
                         Fault::Bad,   Fault::Garbage, Fault::Overlong};

const char* faultName(Fault fault) {
    switch (fault) {
        case Fault::Close:
            return "close";
        case Fault::Silent:
            return "silent";
        case Fault::No:
            return "NO";
        case Fault::Bad:
            return "BAD";
        case Fault::Garbage:
            return "garbage";
        case Fault::Overlong:
            return "overlong";
    }
    return "";
}

// One exchange of a conversation: whether the server first reads the
// client's command line, the tag of the reply, and the reply itself.
struct Exchange {
    bool readsCommand;
    std::string tag;
    std::string reply;
};

// The conversation up to `step`, whose reply is replaced by the fault; the
// script ends there (the server then only reads until the client closes).
std::vector<ScriptStep> scriptWithFault(const std::vector<Exchange>& conversation, size_t step,
                                        Fault fault, bool sieve) {
    std::vector<ScriptStep> script;
    for (size_t i = 0; i <= step; ++i) {
        if (conversation[i].readsCommand)
            script.push_back(readLine());
        if (i < step) {
            script.push_back(send(conversation[i].reply));
            continue;
        }
        const std::string tag = sieve ? "" : conversation[i].tag + " ";
        switch (fault) {
            case Fault::Close:
                script.push_back(closeConnection());
                break;
            case Fault::Silent:
                script.push_back(pause(1500));
                break;
            case Fault::No:
                script.push_back(send(tag + "NO injected\r\n"));
                break;
            case Fault::Bad:
                script.push_back(send(tag + (sieve ? "BYE" : "BAD") + " injected\r\n"));
                break;
            case Fault::Garbage:
                script.push_back(send("\x01\x7f garbage \xff\xfe\r\n"));
                break;
            case Fault::Overlong:
                script.push_back(send(std::string((1 << 20) + 10, 'x') + "\r\n"));
                break;
        }
    }
    return script;
}

MyException run(bool sieve, const ScriptedServer& server) {
    return dropInProcess({{"CH", "127.0.0.1"},
                          {sieve ? "SP" : "CP", server.portText()},
                          {"al", "admin"},
                          {"ap", "secret"},
                          {"uid", "jdoe"},
                          {sieve ? "sieve" : "imap", ""}},
                         kShortWaits);
}

// What the reader reports for a fault that ends the conversation.
std::string localDetail(Fault fault, bool sieve) {
    if (fault == Fault::Close || fault == Fault::Overlong)
        return sieve ? "Socket Error" : "Socket error";
    return "connection timed out";
}

const std::vector<Exchange> kImap = {
    {false, "*", "* OK ready\r\n"},
    {true, "L1", "L1 OK\r\n"},
    {true, "LI3", "* LIST () \".\" user.jdoe\r\n* LIST () \".\" shared1\r\nLI3 OK\r\n"},
    {true, "GA3", "* ACL user.jdoe jdoe lrs\r\nGA3 OK\r\n"},
    {true, "A2", "A2 OK\r\n"},
    {true, "GA3", "* ACL shared1 anyone lrs\r\nGA3 OK\r\n"},
    {true, "N1", "* NAMESPACE NIL ((\"user.\" \".\")) NIL\r\nN1 OK\r\n"},
    {true, "D1", "D1 OK\r\n"},
    {true, "L2", "* BYE\r\nL2 OK\r\n"},
};

TEST(FaultInjection, ImapStage) {
    for (size_t step = 0; step < kImap.size(); ++step) {
        for (Fault fault : kFaults) {
            ScriptedServer server(scriptWithFault(kImap, step, fault, false));
            const MyException result = run(false, server);
            const std::string where = "step " + std::to_string(step) + " " + faultName(fault);
            const bool refused = fault == Fault::No || fault == Fault::Bad;
            // What the client reports: the server's refusal, or the reader's
            // local reason (a refused greeting is just an untagged line).
            const std::string detail =
                refused && step > 0 ? std::string(fault == Fault::No ? "NO" : "BAD") + " injected\r"
                : refused           ? "connection timed out"
                                    : localDetail(fault, false);
            if (step <= 1) {
                EXPECT_EQ(-42, result.code) << where;
                EXPECT_EQ("IMAP login failed:login failed: Serverresponse: " + detail,
                          result.message)
                    << where;
            } else if (step == 2) {
                EXPECT_EQ(-43, result.code) << where;
                EXPECT_EQ("could not delete ACLs: list failed: Serverresponse: " + detail,
                          result.message)
                    << where;
            } else if (step <= 5 && !refused) {
                // An ACL command that breaks or goes unanswered ends the
                // stage with its own message.
                EXPECT_EQ(-43, result.code) << where;
                EXPECT_EQ(std::string("could not delete ACLs: ") +
                              (step == 4 ? "deleteacl" : "getacl") +
                              " failed: Serverresponse: " + localDetail(fault, false),
                          result.message)
                    << where;
            } else if (step <= 4) {
                // A refused one is noted and the sweep goes on: its next
                // GETACL meets the server that fell silent.
                EXPECT_EQ(-43, result.code) << where;
                EXPECT_EQ(
                    "could not delete ACLs: getacl failed: Serverresponse: connection timed out",
                    result.message)
                    << where;
            } else if (step <= 7) {
                const std::string failing = step <= 6 ? "namespace" : "delete";
                EXPECT_EQ(-44, result.code) << where;
                EXPECT_EQ(
                    "could not delete INBOX of user jdoe\nError Message from server: " + failing +
                        " failed: Serverresponse: " + (step == 5 ? "connection timed out" : detail),
                    result.message)
                    << where;
            } else {
                EXPECT_EQ(0, result.code) << where << ": " << result.message;
            }
            // A reply that did not come may still come: after it nothing but
            // the logout goes out, so no reply is read for another command.
            if (fault == Fault::Silent && step > 0 && step + 1 < kImap.size()) {
                const std::string sent = server.received();
                EXPECT_EQ(step + 1, static_cast<size_t>(std::count(sent.begin(), sent.end(), '\n')))
                    << where << ": " << sent;
                EXPECT_EQ("L2 logout\n",
                          sent.substr(sent.size() - std::min<size_t>(sent.size(), 10)))
                    << where;
            }
        }
    }
}

const std::vector<Exchange> kSieve = {
    {false, "", "\"SASL\" \"PLAIN\"\r\nOK\r\n"},
    {true, "", "OK\r\n"},
    {true, "", "\"a\"\r\n\"b\" ACTIVE\r\nOK\r\n"},
    {true, "", "OK\r\n"},
    {true, "", "OK\r\n"},
    {true, "", "OK\r\n"},
    {true, "", "OK \"Logout Complete\"\r\n"},
};

TEST(FaultInjection, SieveStage) {
    const char* labels[] = {"Authentication", "Authentication", "listscripts",
                            "setactive",      "delete",         "delete"};
    for (size_t step = 0; step < kSieve.size(); ++step) {
        for (Fault fault : kFaults) {
            ScriptedServer server(scriptWithFault(kSieve, step, fault, true));
            const MyException result = run(true, server);
            const std::string where = "step " + std::to_string(step) + " " + faultName(fault);
            if (step == kSieve.size() - 1) {
                EXPECT_EQ(0, result.code) << where << ": " << result.message;
                continue;
            }
            // The greeting's outcome is not looked at: the next read meets
            // whatever the server does afterwards. BYE ends a reply like NO;
            // any word the listing cannot place is a parse error.
            std::string detail = localDetail(fault, true);
            if (fault == Fault::No || fault == Fault::Bad) {
                detail = step == 0            ? "connection timed out"
                         : fault == Fault::No ? "NO injected"
                                              : "BYE injected";
            } else if (fault == Fault::Garbage) {
                detail = step == 2 ? "Error parsing LISTSCRIPTS response" : "connection timed out";
            }
            EXPECT_EQ(-51, result.code) << where;
            EXPECT_EQ(std::string("Could not delete filterscript of user: jdoe\nError message: ") +
                          labels[step] + " failed: Serverresponse: " + detail,
                      result.message)
                << where;
        }
    }
}

}  // namespace
