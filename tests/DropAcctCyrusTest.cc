// dropacct's IMAP and Sieve stages, and the whole removal, against a real
// private Cyrus server (and slapd for the full run).
#include <gtest/gtest.h>

#include <fstream>

#include "imap/AclSweep.h"
#include "imap/IMAPSimple.h"
#include "tests/support/Cyrus.h"
#include "tests/support/Process.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/Slapd.h"

namespace {

class DropAcctCyrus : public ::testing::Test {
  protected:
    void SetUp() override {
        cyrus.imap({"C1 create user.jdoe", "C2 create user.jdoe.sub", "C3 create user.alice",
                    "C4 create shared1", "C5 create \"shared two\"",
                    "A1 setacl user.alice jdoe lrs", "A2 setacl shared1 jdoe lrs",
                    "A3 setacl shared1 bob lr", "A4 setacl \"shared two\" jdoe lrsw",
                    // Names Cyrus takes with characters that need quoting.
                    "C6 create \"shared.(new) it's\"", "C7 create \"user.jdoe.a~b#c &-\"",
                    "A5 setacl \"shared.(new) it's\" jdoe lr"});
    }
    ProcessResult drop(std::vector<std::string> extra, const std::string& password = "secret") {
        std::vector<std::string> args{"-CH",  "127.0.0.1",
                                      "-CP",  std::to_string(cyrus.imapPort()),
                                      "-SP",  std::to_string(cyrus.sievePort()),
                                      "-al",  "admin",
                                      "-ap",  password,
                                      "-uid", "jdoe"};
        args.insert(args.end(), extra.begin(), extra.end());
        return runProcess(DROPACCT_BIN, args);
    }

    Cyrus cyrus;
};

TEST_F(DropAcctCyrus, RemovesTheUserFromEveryAclThenDeletesTheMailbox) {
    const ProcessResult r = drop({"-imap"});
    EXPECT_EQ(0, r.status) << r.out;
    EXPECT_EQ("", r.out);
    EXPECT_EQ(
        "\"shared two\" anyone lrs\r\n"
        "\"shared.(new) it's\" anyone lrs\r\n"
        "shared anyone lrs\r\n"
        "shared1 anyone lrs bob lr\r\n"
        "user.alice alice lrswipkxtecdan\r\n",
        cyrus.mailboxesWithAcls());
}

TEST_F(DropAcctCyrus, NoAclSendsOnlyLoginNamespaceDeleteLogout) {
    const ProcessResult r = drop({"-imap", "-noacl", "-debug"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(std::string::npos, r.err.find("LI3 list"));
    EXPECT_NE(std::string::npos, r.err.find("    << N1 namespace\n"));
    EXPECT_NE(std::string::npos, r.err.find("    << D1 delete \"user.jdoe\"\n"));
    // jdoe's entries elsewhere stay.
    EXPECT_NE(std::string::npos, cyrus.mailboxesWithAcls().find("shared1 anyone lrs jdoe lrs"));
    EXPECT_EQ(std::string::npos, cyrus.mailboxesWithAcls().find("user.jdoe"));
}

TEST_F(DropAcctCyrus, ImapFailuresAndTheirStatuses) {
    ProcessResult r = drop({"-imap"}, "wrong");
    EXPECT_EQ(214, r.status);
    EXPECT_EQ(
        "IMAP login failed:login failed: Serverresponse: NO Login failed: authentication "
        "failure\r\n",
        r.out);

    cyrus.imap({"D1 setacl user.jdoe admin x", "D2 delete user.jdoe"});
    r = drop({"-imap", "-noacl"});
    EXPECT_EQ(212, r.status);
    EXPECT_EQ(
        "could not delete INBOX of user jdoe\nError Message from server: delete failed: "
        "Serverresponse: NO Mailbox does not exist\r\n",
        r.out);

    r = runProcess(DROPACCT_BIN, {"-imap", "-CH", "127.0.0.1", "-CP", "1", "-al", "admin", "-ap",
                                  "x", "-uid", "jdoe"});
    EXPECT_EQ(215, r.status);
    EXPECT_EQ("Socket Error\n", r.out);
}

TEST_F(DropAcctCyrus, SieveScriptsAreDeactivatedAndDeleted) {
    cyrus.putScripts("jdoe", {"a", "b"}, "b");
    ProcessResult r = drop({"-sieve"});
    EXPECT_EQ(0, r.status) << r.out;
    EXPECT_EQ("OK\r\n", cyrus.listScripts("jdoe"));

    // Without scripts: listing and logout only.
    r = drop({"-sieve"});
    EXPECT_EQ(0, r.status) << r.out;
}

// Names as users give them: a blank, a quote, a backslash pair (Cyrus
// lists names between quotes without escaping them, so "x\\y" may mean x\y
// or x\\y), and the active one among them.
TEST_F(DropAcctCyrus, ScriptsWithAnyNameAreDeleted) {
    // As they go on the wire, escaped: my filter, q"uote, x\\y.
    cyrus.putScripts("jdoe", {"my filter", "q\\\"uote", "x\\\\\\\\y"}, "my filter");
    cyrus.putScripts("alice", {"my filter"}, "");
    const std::string alices = cyrus.listScripts("alice");
    const ProcessResult r = drop({"-sieve"});
    EXPECT_EQ(0, r.status) << r.out;
    EXPECT_EQ("OK\r\n", cyrus.listScripts("jdoe"));
    EXPECT_EQ(alices, cyrus.listScripts("alice"));
}

TEST_F(DropAcctCyrus, SieveFailuresAndTheirStatuses) {
    cyrus.putScripts("jdoe", {"a"}, "");
    ProcessResult r = drop({"-sieve"}, "wrong");
    EXPECT_EQ(205, r.status);
    EXPECT_EQ(
        "Could not delete filterscript of user: jdoe\nError message: Authentication failed: "
        "Serverresponse: NO Authentication Error\n",
        r.out);

    r = runProcess(DROPACCT_BIN, {"-sieve", "-CH", "127.0.0.1", "-SP",
                                  std::to_string(cyrus.sievePort()), "-uid", "jdoe"});
    EXPECT_EQ(205, r.status);

    r = runProcess(DROPACCT_BIN, {"-sieve", "-CH", "127.0.0.1", "-SP", "1", "-uid", "jdoe"});
    EXPECT_EQ(206, r.status);
    EXPECT_EQ("Sieve initialization failed.\nError message:Socket Error\n", r.out);
    EXPECT_NE(std::string::npos, cyrus.listScripts("jdoe").find("\"a\""));
}

TEST_F(DropAcctCyrus, FullRemovalLeavesNothingOfTheAccount) {
    Slapd slapd(
        "dn: uid=jdoe,o=site\nobjectClass: inetOrgPerson\nuid: jdoe\ncn: J\nsn: D\n\n"
        "dn: ou=addr,uid=jdoe,o=site\nobjectClass: organizationalUnit\nou: addr\n");
    slapd.modify("dn: cn=users,o=site\nchangetype: modify\nadd: memberUid\nmemberUid: jdoe\n");
    cyrus.putScripts("jdoe", {"a", "b"}, "b");
    const ProcessResult r = drop({"-ldap", "-imap", "-sieve", "-LH", "127.0.0.1", "-LP",
                                  slapd.portText(), "-bDN", "o=site"});
    EXPECT_EQ(0, r.status) << r.out;
    EXPECT_FALSE(slapd.exists("uid=jdoe,o=site"));
    EXPECT_EQ(std::string::npos, slapd.search("o=site", "(memberUid=jdoe)").find("dn:"));
    EXPECT_EQ(std::string::npos, cyrus.mailboxesWithAcls().find("jdoe"));
    // The scripts went with the mailbox: the user cannot even log in now.
    EXPECT_NE(std::string::npos, cyrus.listScripts("jdoe").find("NO"));
}

// "anna.work" names anna's folder "work", never a user: nothing is removed
// on either server, whatever the stages.
TEST_F(DropAcctCyrus, LoginHoldingTheSeparatorRemovesNothing) {
    cyrus.imap(
        {"C1 create user.anna", "C2 create user.anna.work", "A1 setacl shared1 anna.work lr"});
    cyrus.putScripts("anna", {"a"}, "a");
    const std::string mailboxes = cyrus.mailboxesWithAcls();
    const std::string scripts = cyrus.listScripts("anna");
    const std::string refused =
        "uid anna.work holds the mail server's hierarchy separator \".\": it names a folder of "
        "another user, not a user of its own; nothing was removed from the mail servers\n";
    const struct {
        std::vector<std::string> stages;
        int status;
        std::string message;
    } cases[] = {
        {{"-imap"}, 234, refused},
        {{"-imap", "-noacl"}, 234, refused},
        {{"-sieve", "-imap"}, 234, refused},
        // No IMAP server to ask: the login goes ahead, and the Sieve
        // server refuses it (on a '/' server it would be a user's own).
        {{"-sieve"},
         205,
         "Could not delete filterscript of user: anna.work\nError message: Authentication "
         "failed: Serverresponse: NO Authentication Error\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.stages;
        args.insert(args.end(), {"-uid", "anna.work"});
        const ProcessResult r = drop(args);
        EXPECT_EQ(c.status, r.status) << c.stages.size();
        EXPECT_EQ(c.message, r.out);
        EXPECT_EQ(mailboxes, cyrus.mailboxesWithAcls());
        EXPECT_EQ(scripts, cyrus.listScripts("anna"));
    }
}

// -debug shows what goes to the servers, single run and batch, but never
// the administrator's password, as typed or inside a SASL PLAIN message.
TEST_F(DropAcctCyrus, DebugTraceHoldsNoSecret) {
    cyrus.putScripts("jdoe", {"a"}, "a");
    cyrus.putScripts("alice", {"b"}, "");
    const std::string roster = testing::TempDir() + "/alice.csv";
    std::ofstream(roster) << "uid\nalice\n";
    for (const auto& run :
         {std::vector<std::string>{"-sieve", "-imap", "-debug"},
          std::vector<std::string>{"-sieve", "-imap", "-debug", "-uid", "", "-batch", roster}}) {
        const ProcessResult r = drop(run);
        EXPECT_EQ(0, r.status) << r.out;
        EXPECT_NE(std::string::npos, r.err.find("    << L1 login admin ***\n")) << r.err;
        // "secret" itself, and base64 of "\0admin\0secret" as it sits in a
        // PLAIN message after "jdoe" or "alice".
        for (const char* secret :
             {"secret", "c2VjcmV0", "AGFkbWluAHNlY3JldA", "YWRtaW4Ac2VjcmV0", "hZG1pbgBzZWNyZXQ"}) {
            EXPECT_EQ(std::string::npos, r.err.find(secret)) << secret << " in " << r.err;
        }
    }
}

TEST_F(DropAcctCyrus, ClientCommandsWorkAgainstTheRealServer) {
    cyrus.addUser("jdoe", "jpw");
    {
        IMAPSimple admin("127.0.0.1", cyrus.imapPort());
        admin.login("admin", "secret");
        admin.create("user.bob");
        admin.setACL("user.bob", "jdoe", "lr");
        admin.setQuota("user.bob", "STORAGE", 1000);
        admin.logout();
    }
    {
        IMAPSimple asJdoe("127.0.0.1", cyrus.imapPort());
        asJdoe.authenticate("jdoe", "admin", "secret");
        asJdoe.subscribe("user.bob");
        asJdoe.logout();
    }
    const std::string state = cyrus.imap({"Q1 getquotaroot user.bob"});
    EXPECT_NE(std::string::npos, state.find("STORAGE 0 1000"));
    EXPECT_NE(std::string::npos,
              cyrus.mailboxesWithAcls().find("user.bob bob lrswipkxtecdan jdoe lr"));
}

// Batch mode's pipelined sweep reads what the one-at-a-time getACL reads,
// a mailbox the server refuses among them, and its removals take effect.
TEST_F(DropAcctCyrus, PipelinedSweepReadsAndRemovesWhatOneAtATimeDoes) {
    IMAPSimple admin("127.0.0.1", cyrus.imapPort());
    admin.login("admin", "secret");
    std::vector<std::string> names;
    for (const IMAPFolder& folder : admin.list("\"\"", "*")) {
        names.push_back(folder.name);
    }
    names.insert(names.begin() + 2, "user.nobody");
    AclSweep sweep(admin, 3);
    const std::vector<MailboxAcl> swept = sweep.sweep(names);
    ASSERT_EQ(names.size(), swept.size());
    std::vector<AclRemoval> removals;
    for (size_t i = 0; i < names.size(); ++i) {
        std::string expected;
        std::list<IMAPAcl> acls;
        try {
            acls = admin.getACL(names[i]);
        } catch (const IMAPException& e) {
            expected = e.message;
        }
        EXPECT_EQ(expected, swept[i].failure) << names[i];
        std::string one, pipelined;
        for (const IMAPAcl& acl : acls) {
            one += acl.identifier + "=" + acl.rights + " ";
        }
        for (const IMAPAcl& acl : swept[i].acls) {
            pipelined += acl.identifier + "=" + acl.rights + " ";
            if (acl.identifier == "jdoe" || acl.identifier == "bob") {
                removals.push_back({names[i], acl.identifier});
            }
        }
        EXPECT_EQ(one, pipelined) << names[i];
    }
    EXPECT_NE("", swept[2].failure);
    EXPECT_EQ(std::vector<std::string>(removals.size()), sweep.deleteAcls(removals));
    admin.logout();
    // Only the owner's rights that Cyrus keeps stay.
    EXPECT_EQ(
        "\"shared two\" anyone lrs\r\n\"shared.(new) it's\" anyone lrs\r\n"
        "\"user.jdoe.a~b#c &-\" jdoe lkxcan\r\nshared anyone lrs\r\nshared1 anyone lrs\r\n"
        "user.alice alice lrswipkxtecdan\r\nuser.jdoe jdoe lkxcan\r\nuser.jdoe.sub jdoe lkxcan\r\n",
        cyrus.mailboxesWithAcls());
}

TEST(DropAcctSieveScripted, ErrorReplyToLogoutStillEndsWithStatusZero) {
    ScriptedServer server({send("\"SASL\" \"PLAIN\"\r\nOK\r\n"), readLine(), send("OK\r\n"),
                           readLine(), send("OK\r\n"), readLine(), send("NO \"bye\"\r\n")});
    const ProcessResult r =
        runProcess(DROPACCT_BIN, {"-sieve", "-CH", "127.0.0.1", "-SP", server.portText(), "-al",
                                  "admin", "-ap", "secret", "-uid", "jdoe"});
    EXPECT_EQ(0, r.status) << r.out;
    EXPECT_EQ("AUTHENTICATE \"PLAIN\" \"amRvZQBhZG1pbgBzZWNyZXQ=\"\nlistscripts\nlogout\n",
              server.received());
}

}  // namespace

namespace {

ProcessResult dropImap(const ScriptedServer& server) {
    return runProcess(DROPACCT_BIN, {"-imap", "-CH", "127.0.0.1", "-CP", server.portText(), "-al",
                                     "admin", "-ap", "secret", "-uid", "jdoe"});
}

TEST(DropAcctImapScripted, RefusedListEndsWith213AfterLoggingOut) {
    ScriptedServer server({send("* OK\r\n"), readLine(), send("L1 OK\r\n"), readLine(),
                           send("LI3 NO no listing\r\n"), readLine(), send("L2 OK\r\n")});
    const ProcessResult r = dropImap(server);
    EXPECT_EQ(213, r.status);
    EXPECT_EQ("could not delete ACLs: list failed: Serverresponse: NO no listing\r\n", r.out);
    EXPECT_EQ("L1 login admin \"secret\"\nLI3 list \"\" *\nL2 logout\n", server.received());
}

// An ACL entry that cannot be removed, or an ACL that cannot be read, no
// longer passes silently: the other entries and the mailbox still go, and
// the run ends 213 naming what is left. A mailbox the user's own deletion
// takes along does not count.
TEST(DropAcctImapScripted, AclsLeftBehindEndWith213) {
    ScriptedServer server(
        {send("* OK\r\n"),
         readLine(),
         send("L1 OK\r\n"),
         readLine(),
         send("* LIST () \".\" \"shared x\"\r\n* LIST () \".\" shared.y\r\n"
              "* LIST () \".\" shared.z\r\n* LIST () \".\" user.jdoe.sub\r\nLI3 OK\r\n"),
         readLine(),
         send("GA3 NO Permission denied\r\n"),
         readLine(),
         send("* ACL shared.y jdoe lrs bob lr\r\nGA3 OK\r\n"),
         readLine(),
         send("A2 NO [NOPERM] Permission denied\r\n"),
         readLine(),
         send("* ACL shared.z jdoe lrs\r\nGA3 OK\r\n"),
         readLine(),
         send("A2 OK\r\n"),
         readLine(),
         send("* ACL user.jdoe.sub jdoe lrs {3}\r\nbad\r\nGA3 OK\r\n"),
         readLine(),
         send("* NAMESPACE NIL ((\"user.\" \".\")) NIL\r\nN1 OK\r\n"),
         readLine(),
         send("D1 OK\r\n"),
         readLine(),
         send("L2 OK\r\n")});
    const ProcessResult r = dropImap(server);
    EXPECT_EQ(213, r.status);
    EXPECT_EQ(
        "could not delete ACLs: \"shared x\" (getacl failed: Serverresponse: NO Permission "
        "denied), \"shared.y\" (deleteacl failed: Serverresponse: NO [NOPERM] Permission "
        "denied)\n",
        r.out);
    EXPECT_EQ(
        "L1 login admin \"secret\"\nLI3 list \"\" *\nGA3 getacl \"shared x\"\n"
        "GA3 getacl \"shared.y\"\nA2 deleteacl \"shared.y\" jdoe\nGA3 getacl \"shared.z\"\n"
        "A2 deleteacl \"shared.z\" jdoe\nGA3 getacl \"user.jdoe.sub\"\nN1 namespace\n"
        "D1 delete \"user.jdoe\"\nL2 logout\n",
        server.received());
}

// No other-users namespace, NIL for it, or one whose prefix is empty or
// sent in a form the reader does not take (a literal): the bare login would
// name some top-level mailbox, so nothing is deleted.
TEST(DropAcctImapScripted, NoOtherUsersNamespaceEndsWith212) {
    for (const char* reply : {"N1 OK\r\n", "* NAMESPACE ((\"\" \".\")) NIL NIL\r\nN1 OK\r\n",
                              "* NAMESPACE NIL ((\"\" \".\")) NIL\r\nN1 OK\r\n",
                              "* NAMESPACE NIL (({5}\r\nuser. \".\")) NIL\r\nN1 OK\r\n"}) {
        ScriptedServer server({send("* OK\r\n"), readLine(), send("L1 OK\r\n"), readLine(),
                               send(reply), readLine(), send("L2 OK\r\n")});
        const ProcessResult r = runProcess(
            DROPACCT_BIN, {"-imap", "-noacl", "-CH", "127.0.0.1", "-CP", server.portText(), "-al",
                           "admin", "-ap", "secret", "-uid", "jdoe"});
        EXPECT_EQ(212, r.status) << reply;
        EXPECT_EQ(
            "could not delete INBOX of user jdoe\nError Message from server: namespace failed: "
            "Serverresponse: the server reports no other-users namespace to find the user's "
            "mailbox in\n",
            r.out);
        EXPECT_EQ("L1 login admin \"secret\"\nN1 namespace\nL2 logout\n", server.received());
    }
}

// An entry after a quoted identifier (or one sent as a literal) is still
// the user's, and goes.
TEST(DropAcctImapScripted, EntryAfterAQuotedIdentifierIsRemoved) {
    ScriptedServer server(
        {send("* OK\r\n"), readLine(), send("L1 OK\r\n"), readLine(),
         send("* LIST () \".\" shared.x\r\nLI3 OK\r\n"), readLine(),
         send("* ACL shared.x \"group:staff room\" lrs {3}\r\nx\ny lr jdoe lrs\r\nGA3 OK\r\n"),
         readLine(), send("A2 OK\r\n"), readLine(),
         send("* NAMESPACE NIL ((\"user.\" \".\")) NIL\r\nN1 OK\r\n"), readLine(),
         send("D1 OK\r\n"), readLine(), send("L2 OK\r\n")});
    const ProcessResult r = dropImap(server);
    EXPECT_EQ(0, r.status) << r.out;
    EXPECT_EQ(
        "L1 login admin \"secret\"\nLI3 list \"\" *\nGA3 getacl \"shared.x\"\n"
        "A2 deleteacl \"shared.x\" jdoe\nN1 namespace\nD1 delete \"user.jdoe\"\nL2 logout\n",
        server.received());
}

// On a Cyrus whose separator is '/' (unixhierarchysep), first.last is a
// user of its own: with -imap the IMAP server names the separator first,
// without it the Sieve login goes ahead; either way the scripts go.
TEST(DropAcctImapScripted, DottedLoginOnASlashServerIsAUser) {
    const std::vector<ScriptStep> asked = {send("* OK\r\n"),
                                           readLine(),
                                           send("L1 OK\r\n"),
                                           readLine(),
                                           send("* LIST (\\Noselect) \"/\" \"\"\r\nLI3 OK\r\n"),
                                           readLine(),
                                           send("L2 OK\r\n")};
    const std::vector<ScriptStep> removed = {
        send("* OK\r\n"),
        readLine(),
        send("L1 OK\r\n"),
        readLine(),
        send("* NAMESPACE NIL ((\"user/\" \"/\")) NIL\r\nN1 OK\r\n"),
        readLine(),
        send("D1 OK\r\n"),
        readLine(),
        send("L2 OK\r\n")};
    for (const bool withImap : {true, false}) {
        ScriptedServer imap(withImap ? std::vector<std::vector<ScriptStep>>{asked, removed}
                                     : std::vector<std::vector<ScriptStep>>{});
        ScriptedServer sieve({send("\"SASL\" \"PLAIN\"\r\nOK\r\n"), readLine(), send("OK\r\n"),
                              readLine(), send("\"a\"\r\nOK\r\n"), readLine(), send("OK\r\n"),
                              readLine(), send("OK\r\n")});
        std::vector<std::string> args{"-sieve", "-CH", "127.0.0.1", "-SP",  sieve.portText(), "-al",
                                      "admin",  "-ap", "secret",    "-uid", "first.last"};
        if (withImap) {
            args.insert(args.end(), {"-imap", "-noacl", "-CP", imap.portText()});
        }
        const ProcessResult r = runProcess(DROPACCT_BIN, args);
        EXPECT_EQ(0, r.status) << withImap << ": " << r.out;
        EXPECT_EQ(
            "AUTHENTICATE \"PLAIN\" \"Zmlyc3QubGFzdABhZG1pbgBzZWNyZXQ=\"\nlistscripts\n"
            "deletescript \"a\"\nlogout\n",
            sieve.received());
        EXPECT_EQ(withImap ? "L1 login admin \"secret\"\nLI3 list \"\" \"\"\nL2 logout\n"
                             "L1 login admin \"secret\"\nN1 namespace\n"
                             "D1 delete \"user/first.last\"\nL2 logout\n"
                           : "",
                  imap.received());
    }
}

TEST(DropAcctImapScripted, StandardInputEscapesThePassword) {
    ScriptedServer server(
        {send("* OK\r\n"), readLine(), send("L1 NO bad\r\n"), readLine(), send("L2 OK\r\n")});
    const ProcessResult r = runProcess(
        DROPACCT_BIN, {},
        "imap\nCH=127.0.0.1\nCP=" + server.portText() + "\nal=admin\nap=a\"b=c\nuid=jdoe\n", true);
    EXPECT_EQ(214, r.status);
    EXPECT_EQ("L1 login admin \"a\\\"b=c\"\nL2 logout\n", server.received());
}

}  // namespace
