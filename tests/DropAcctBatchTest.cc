// dropacct -batch against private slapd and Cyrus servers: twenty accounts
// with groups, address-book rights, mailboxes, ACL entries and scripts, of
// which fifteen are removed at once; the same removal cut off at each stage
// and run again; and the roster files that are refused before anything is
// done.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <set>
#include <sstream>

#include "dropacct/BatchRun.h"
#include "dropacct/DropAcct.h"
#include "tests/support/Cyrus.h"
#include "tests/support/DirectoryState.h"
#include "tests/support/DroppingProxy.h"
#include "tests/support/Process.h"
#include "tests/support/Runs.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/Slapd.h"

namespace {

std::string name(int n) {
    return (n < 10 ? "u0" : "u") + std::to_string(n);
}

const int kAccounts = 20;
const int kRemoved = 15;  // u01 to u15 leave, u16 to u20 stay

std::string accountsLdif() {
    std::string ldif;
    for (int n = 1; n <= kAccounts; ++n) {
        const std::string dn = "uid=" + name(n) + ",o=site";
        ldif += "dn: " + dn +
                "\nobjectClass: inetOrgPerson\nobjectClass: posixAccount\nuid: " + name(n) +
                "\ncn: C\nsn: S\nuidNumber: " + std::to_string(3000 + n) +
                "\ngidNumber: 100\nhomeDirectory: /home/" + name(n) + "\n\n" + "dn: ou=addr," + dn +
                "\nobjectClass: organizationalUnit\nou: addr\n\n" + "dn: cn=c,ou=addr," + dn +
                "\nobjectClass: organizationalPerson\ncn: c\nsn: x\n\n";
    }
    return ldif;
}

// Every account in the users group, every second in staff and in a group
// one level deeper (which the removal does not touch), every third a
// recipient of a shared folder, every fourth an address-book administrator.
std::string referencesLdif() {
    std::string ldif;
    const auto add = [&ldif](const std::string& dn, const std::string& attribute,
                             const std::string& value) {
        ldif += "dn: " + dn + "\nchangetype: modify\nadd: " + attribute + "\n" + attribute + ": " +
                value + "\n\n";
    };
    for (int n = 1; n <= kAccounts; ++n) {
        add("cn=users,o=site", "memberUid", name(n));
        if (n % 2 == 0) {
            add("cn=staff,o=site", "memberUid", name(n));
            add("cn=projects,ou=groups,o=site", "memberUid", name(n));
        }
        if (n % 3 == 0)
            add("cn=shared1,o=site", "deliverToUID", name(n));
        if (n % 4 == 0)
            add("cn=AddressAdmins,o=AddressBook,o=site", "member", "uid=" + name(n) + ",o=site");
    }
    return ldif;
}

// Mailboxes with a sub-mailbox, entries in the ACL of two shared mailboxes
// (a negative one, which stays) and of the next account's mailbox, scripts.
void provision(const Cyrus& cyrus) {
    std::vector<std::string> commands{"S1 create shared1", "S2 create shared2"};
    for (int n = 1; n <= kAccounts; ++n) {
        const std::string user = "user." + name(n);
        commands.push_back("C create " + user);
        commands.push_back("C create " + user + ".sub");
    }
    for (int n = 1; n <= kAccounts; ++n) {
        commands.push_back("A setacl shared1 " + name(n) + " lrs");
        commands.push_back("A setacl shared2 -" + name(n) + " w");
        commands.push_back("A setacl user." + name(n % kAccounts + 1) + " " + name(n) + " lr");
    }
    cyrus.imap(commands);
    for (int n = 1; n <= kAccounts; ++n) {
        cyrus.putScripts(name(n), {"a", "b"}, "b");
    }
}

std::set<std::string> removedUids() {
    std::set<std::string> uids;
    for (int n = 1; n <= kRemoved; ++n)
        uids.insert(name(n));
    return uids;
}

std::string roster() {
    // Columns besides uid are for newacct; semicolons as a German
    // spreadsheet writes them.
    std::string text = "givenName;uid;sn\n";
    for (int n = 1; n <= kRemoved; ++n)
        text += "G;" + name(n) + ";S\n";
    const std::string path = testing::TempDir() + "/leavers.csv";
    std::ofstream(path) << text;
    return path;
}

std::string allZero() {
    std::string lines;
    for (int n = 1; n <= kRemoved; ++n)
        lines += name(n) + "\t0\n";
    return lines;
}

// Both servers with the twenty accounts, and what they held before.
struct Site {
    Site() {
        slapd.modify(referencesLdif());
        provision(cyrus);
        directoryBefore = parseDump(slapd.dump());
        mailboxesBefore = cyrus.mailboxesWithAcls();
        for (int n = kRemoved + 1; n <= kAccounts; ++n)
            scriptsKept += cyrus.listScripts(name(n));
        scriptsKept += cyrus.listScripts("alice");
    }
    ProcessResult drop(const std::string& ldapPort, const std::string& imapPort,
                       const std::string& sievePort, const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args{"-ldap",   "-imap",  "-sieve",    "-LH", "127.0.0.1", "-LP",
                                      ldapPort,  "-CH",    "127.0.0.1", "-CP", imapPort,    "-SP",
                                      sievePort, "-bDN",   "o=site",    "-al", "admin",     "-ap",
                                      "secret",  "-batch", roster()};
        args.insert(args.end(), extra.begin(), extra.end());
        return runProcess(DROPACCT_BIN, args);
    }
    ProcessResult drop(const std::vector<std::string>& extra = {}) {
        return drop(slapd.portText(), std::to_string(cyrus.imapPort()),
                    std::to_string(cyrus.sievePort()), extra);
    }
    // Nothing of the fifteen is left, and nothing else changed.
    void expectRemoved() {
        const Entries expected = expectedAfterRemoval(directoryBefore, removedUids());
        const Entries after = parseDump(slapd.dump());
        EXPECT_TRUE(expected == after) << difference(expected, after);
        EXPECT_EQ(mailboxesAfterRemoval(mailboxesBefore, removedUids()), cyrus.mailboxesWithAcls());
        std::string scripts;
        for (int n = kRemoved + 1; n <= kAccounts; ++n)
            scripts += cyrus.listScripts(name(n));
        EXPECT_EQ(scriptsKept, scripts + cyrus.listScripts("alice"));
        for (int n = 1; n <= kRemoved; ++n)
            EXPECT_EQ(0u, cyrus.listScripts(name(n)).rfind("NO", 0)) << name(n);
    }

    Slapd slapd{accountsLdif()};
    Cyrus cyrus;
    Entries directoryBefore;
    std::string mailboxesBefore;
    std::string scriptsKept;
};

TEST(DropAcctBatch, RemovesEveryListedAccountAndNothingElse) {
    Site site;
    const std::string directory = site.slapd.dump();
    const ProcessResult plan = site.drop({"-dryrun"});
    EXPECT_EQ(0, plan.status) << plan.out;
    EXPECT_NE(std::string::npos, plan.out.find("# imap: delete \"user.u15\"\n")) << plan.out;
    EXPECT_EQ(directory, site.slapd.dump());
    EXPECT_EQ(site.mailboxesBefore, site.cyrus.mailboxesWithAcls());

    const ProcessResult r = site.drop();
    EXPECT_EQ(0, r.status) << r.out;
    EXPECT_EQ(allZero(), r.out);
    site.expectRemoved();
}

// Cuts the connection to one server at request or line `at`, then runs the
// same batch again: every account ends 0 and the servers end as after an
// uncut run.
void cutThenRunAgain(const std::string& stage, int at) {
    Site site;
    const int upstream = stage == "ldap"    ? site.slapd.port()
                         : stage == "sieve" ? site.cyrus.sievePort()
                                            : site.cyrus.imapPort();
    DroppingProxy proxy(upstream, at, DroppingProxy::BeforeReply, nullptr,
                        stage == "ldap" ? DroppingProxy::Ldap : DroppingProxy::Lines);
    const ProcessResult r =
        site.drop(stage == "ldap" ? proxy.portText() : site.slapd.portText(),
                  stage == "imap" ? proxy.portText() : std::to_string(site.cyrus.imapPort()),
                  stage == "sieve" ? proxy.portText() : std::to_string(site.cyrus.sievePort()));
    EXPECT_EQ(237, r.status) << r.out;
    const ProcessResult again = site.drop();
    EXPECT_EQ(0, again.status) << again.out;
    EXPECT_EQ(allZero(), again.out);
    site.expectRemoved();
}

// In the deletion of the subtrees, at the fifth account's scripts (one
// session serves them all), and in the removal of ACL entries.
TEST(DropAcctBatchCut, AtTheDirectory) {
    cutThenRunAgain("ldap", 12);
}
TEST(DropAcctBatchCut, AtTheSieveServer) {
    cutThenRunAgain("sieve", 27);
}
TEST(DropAcctBatchCut, AtTheImapServer) {
    cutThenRunAgain("imap", 110);
}

const char* const kLeavers = R"(dn: uid=mmueller,o=site
objectClass: inetOrgPerson
objectClass: posixAccount
uid: mmueller
cn: Marie Mueller
sn: Mueller
uidNumber: 2010
gidNumber: 100
homeDirectory: /home/mmueller

dn: ou=addr,uid=mmueller,o=site
objectClass: organizationalUnit
ou: addr

dn: uid=anna,o=site
objectClass: inetOrgPerson
uid: anna
cn: Anna
sn: A
)";

// A leaver typed in another case than newacct stored her (the directory
// keeps her DN among the address-book administrators and her login in a
// group, written by another tool, in yet another case, and
// -bDN is written with blanks), and a uid that names another user's
// folder: the first is gone from every server, the second removes nothing,
// and nothing else changes.
TEST(DropAcctBatchRoster, MixedCaseAndDottedLogins) {
    Slapd slapd(kLeavers);
    slapd.modify(
        "dn: cn=users,o=site\nchangetype: modify\nadd: memberUid\nmemberUid: mmueller\n\n"
        "dn: cn=staff,o=site\nchangetype: modify\nadd: memberUid\nmemberUid: MMueller\n\n"
        "dn: cn=AddressAdmins,o=AddressBook,o=site\nchangetype: modify\nadd: member\n"
        "member: uid=MMueller, o=site\n");
    Cyrus cyrus;
    cyrus.imap({"C1 create user.mmueller", "C2 create user.mmueller.sub", "C3 create user.anna",
                "C4 create user.anna.work", "C5 create shared1", "A1 setacl shared1 mmueller lrs",
                "A2 setacl user.anna mmueller lr", "A3 setacl shared1 anna lr"});
    cyrus.putScripts("mmueller", {"a"}, "a");
    cyrus.putScripts("anna", {"b"}, "b");
    Entries directory = expectedAfterRemoval(parseDump(slapd.dump()), {"mmueller"});
    directory["cn=AddressAdmins,o=AddressBook,o=site"].erase("member: uid=MMueller,o=site");
    directory["cn=staff,o=site"].erase("memberUid: MMueller");
    const std::string mailboxes = mailboxesAfterRemoval(cyrus.mailboxesWithAcls(), {"mmueller"});
    const std::string annasScripts = cyrus.listScripts("anna");
    const std::string roster = testing::TempDir() + "/mixed.csv";
    std::ofstream(roster) << "uid\nMMueller\nanna.work\n";

    std::vector<std::string> args = removalEverywhere(slapd, cyrus, "");
    // The base DN as an administrator might type it.
    args.insert(args.end(), {"-bDN", "o = site", "-batch", roster});
    const ProcessResult r = runProcess(DROPACCT_BIN, args);
    EXPECT_EQ(237, r.status);
    EXPECT_EQ(
        "MMueller\t0\nanna.work\t234\tuid anna.work holds the mail server's hierarchy separator "
        "\".\": it names a folder of another user, not a user of its own; nothing was removed "
        "from the mail servers\n",
        r.out);
    const Entries after = parseDump(slapd.dump());
    EXPECT_TRUE(directory == after) << difference(directory, after);
    EXPECT_EQ(mailboxes, cyrus.mailboxesWithAcls());
    EXPECT_EQ(annasScripts, cyrus.listScripts("anna"));
    EXPECT_EQ(0u, cyrus.listScripts("mmueller").rfind("NO", 0));
}

// dropacct -batch in this process with `params` (name, value), the uids of
// `uids` as its roster and shortened reply waits: its status, and its
// result lines in `out`.
int batchInProcess(const std::vector<std::pair<std::string, std::string>>& params,
                   const std::string& uids, std::ostringstream& out) {
    const std::string roster = testing::TempDir() + "/in-process.csv";
    std::ofstream(roster) << "uid\n" << uids;
    DropAcct run;
    for (const auto& [name, value] : params) {
        run.addParam(name, value);
    }
    run.addParam("batch", roster);
    run.setReplyWaits(ReplyWaits{500, 400});
    return runBatch(run, out);
}

std::vector<std::pair<std::string, std::string>> imapParams(const ScriptedServer& server) {
    return {{"imap", ""},
            {"CH", "127.0.0.1"},
            {"CP", server.portText()},
            {"al", "admin"},
            {"ap", "secret"}};
}

// A DELETE answered after the wait, the next one refused: the late reply
// is never read for the next command (every tag of the session is its own)
// and the stage ends there, so neither account ends 0. The script answers
// with the tags of a single run as well.
TEST(DropAcctBatchImap, LateReplyEndsTheStage) {
    ScriptedServer server(
        {send("* OK\r\n"), readLine(), send("L1 OK\r\n"), readLine(),
         send("* LIST () \".\" user.a\r\n* LIST () \".\" user.b\r\nLI2 OK\r\nLI3 OK\r\n"),
         readLine(), send("* NAMESPACE NIL ((\"user.\" \".\")) NIL\r\nN1 OK\r\nN3 OK\r\n"),
         readLine(), pause(900), send("D1 OK\r\nD4 OK\r\n"), readLine(),
         send("D1 NO refused\r\nD5 NO refused\r\nL5 OK\r\n")});
    auto params = imapParams(server);
    params.emplace_back("noacl", "");
    std::ostringstream out;
    EXPECT_EQ(237, batchInProcess(params, "a\nb\n", out));
    EXPECT_EQ(
        "a\t212\tcould not delete INBOX of user a Error Message from server: delete failed: "
        "Serverresponse: connection timed out\n"
        "b\t212\tnot done: the IMAP session broke off: delete failed: Serverresponse: connection "
        "timed out\n",
        out.str());
    EXPECT_EQ(
        "L1 login admin \"secret\"\nLI2 list \"\" *\nN3 namespace\nD4 delete \"user.a\"\n"
        "L5 logout\n",
        server.received());
}

// As in a single run, an ACL that cannot be read is left for every account
// of the sweep, an entry that cannot be removed for its own: each ends 213
// naming them, after its mailbox is deleted.
TEST(DropAcctBatchImap, AclsLeftBehindEndWith213) {
    ScriptedServer server(
        {send("* OK\r\n"),
         readLine(),
         send("L1 OK\r\n"),
         readLine(),
         send("* LIST () \".\" shared.x\r\n* LIST () \".\" shared.y\r\n"
              "* LIST () \".\" user.bob\r\n* LIST () \".\" user.jdoe\r\nLI2 OK\r\n"),
         readLine(),
         readLine(),
         readLine(),
         readLine(),
         send("G3 NO Permission denied\r\n* ACL shared.y jdoe lrs bob lr\r\nG4 OK\r\n"
              "* ACL user.bob bob lrs\r\nG5 OK\r\n* ACL user.jdoe jdoe lrs\r\nG6 OK\r\n"),
         readLine(),
         readLine(),
         readLine(),
         send("R7 NO denied\r\nR8 OK\r\nR9 OK\r\n"),
         readLine(),
         send("R10 OK\r\n"),
         readLine(),
         send("* NAMESPACE NIL ((\"user.\" \".\")) NIL\r\nN11 OK\r\n"),
         readLine(),
         send("D12 OK\r\n"),
         readLine(),
         send("D13 OK\r\n"),
         readLine(),
         send("L14 OK\r\n")});
    std::ostringstream out;
    EXPECT_EQ(237, batchInProcess(imapParams(server), "jdoe\nbob\n", out));
    const std::string unreadable =
        "\"shared.x\" (getacl failed: Serverresponse: NO Permission denied)";
    EXPECT_EQ("jdoe\t213\tcould not delete ACLs: " + unreadable +
                  ", \"shared.y\" (deleteacl failed: Serverresponse: NO denied)\n"
                  "bob\t213\tcould not delete ACLs: " +
                  unreadable + "\n",
              out.str());
    const std::string sent = server.received();
    EXPECT_NE(std::string::npos, sent.find("D12 delete \"user.jdoe\"\nD13 delete \"user.bob\"\n"))
        << sent;
}

// A Sieve server lost or silent in the first account's deletion: that
// account keeps its own message; those not yet tried say they were not
// done, naming the server.
TEST(DropAcctBatchSieve, LostOrSilentServerLeavesTheOthersNotDone) {
    for (const bool silent : {false, true}) {
        ScriptedServer server({send("\"SASL\" \"PLAIN\"\r\n\"UNAUTHENTICATE\"\r\nOK\r\n"),
                               readLine(), send("OK\r\n"), readLine(), send("\"x\"\r\nOK\r\n"),
                               readLine(), silent ? pause(1500) : closeConnection()});
        std::ostringstream out;
        EXPECT_EQ(237, batchInProcess({{"sieve", ""},
                                       {"CH", "127.0.0.1"},
                                       {"SP", server.portText()},
                                       {"al", "admin"},
                                       {"ap", "secret"}},
                                      "a\nb\nc\n", out));
        const std::string failed = std::string("delete failed: Serverresponse: ") +
                                   (silent ? "connection timed out" : "Socket Error");
        const std::string notDone =
            "\tnot done: the Sieve session with 127.0.0.1:" + server.portText() +
            " broke off: " + failed + "\n";
        EXPECT_EQ("a\t205\tCould not delete filterscript of user: a Error message: " + failed +
                      "\nb\t205" + notDone + "c\t205" + notDone,
                  out.str());
    }
}

// `program` with `args`, its standard output on a full disk.
ProcessResult toFullDisk(const std::string& program, const std::vector<std::string>& args) {
    std::vector<std::string> shell{"-c", "exec \"$@\" >/dev/full", "sh", program};
    shell.insert(shell.end(), args.begin(), args.end());
    return runProcess("/bin/sh", shell);
}

// Result lines, plans and made-up passwords that cannot be written end the
// run with 235 and say on standard error what was lost; the work was done.
TEST(OutputLost, EndsWith235NamingWhatWasLost) {
    Slapd slapd;
    const std::string roster = testing::TempDir() + "/full.csv";
    std::ofstream(roster) << "uid,sn\nNew1,A\nnew2,B\n";
    const std::vector<std::string> creation{
        "-H",  "127.0.0.1", "-P", slapd.portText(), "-bDN", "o=site", "-al",   "admin",
        "-ap", "secret",    "-o", "Acme",           "-c",   "DE",     "-genpw"};
    const std::vector<std::string> removal{"-ldap",          "-LH",  "127.0.0.1", "-LP",
                                           slapd.portText(), "-bDN", "o=site",    "-al",
                                           "admin",          "-ap",  "secret"};
    const auto with = [](std::vector<std::string> args, const std::vector<std::string>& more) {
        args.insert(args.end(), more.begin(), more.end());
        return args;
    };
    const std::string lost = "output could not be written (No space left on device): ";
    const struct {
        std::string program;
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {NEWACCT_BIN, with(creation, {"-batch", roster}),
         "the passwords made up for New1, new2 were not delivered (the accounts were created: "
         "give them new passwords)"},
        {NEWACCT_BIN, with(creation, {"-uid", "new3", "-sn", "C"}),
         "the password made up for new3 was not delivered (the account was created: give it a "
         "new password)"},
        {NEWACCT_BIN, with(creation, {"-uid", "new4", "-sn", "D", "-dryrun"}),
         "the plan was not delivered"},
        {DROPACCT_BIN, with(removal, {"-uid", "new3", "-dryrun"}), "the plan was not delivered"},
        {DROPACCT_BIN, with(removal, {"-batch", roster}),
         "2 of 2 result lines were not delivered; run the roster again to see every account's "
         "result"},
        {DROPACCT_BIN, with(removal, {"-batch", roster, "-dryrun"}), "the plan was not delivered"},
    };
    for (const auto& c : cases) {
        const ProcessResult r = toFullDisk(c.program, c.args);
        EXPECT_EQ(235, r.status) << c.message;
        EXPECT_EQ(lost + c.message + "\n", r.err);
    }
    // Made, then removed: the lost output did not stop the work.
    EXPECT_TRUE(slapd.exists("uid=new3,o=site"));
    EXPECT_FALSE(slapd.exists("uid=new1,o=site"));
    EXPECT_FALSE(slapd.exists("uid=new4,o=site"));
}

TEST(DropAcctBatchRefusals, NothingIsDoneForARefusedRoster) {
    const std::string dir = makeTempFolder("roster");
    const auto file = [&dir](const std::string& name, const std::string& text) {
        std::ofstream(dir + "/" + name) << text;
        return dir + "/" + name;
    };
    mkfifo((dir + "/fifo").c_str(), 0600);
    std::ofstream(dir + "/large").seekp(16 * 1024 * 1024) << 'x';
    struct Case {
        std::string path;
        int status;
        std::string message;
    } cases[] = {
        {file("nouid", "login\njdoe\n"), 236, "batch file " + dir + "/nouid: no uid column"},
        {file("blank", "uid\njdoe\n\"alice \"\n"), 236, "line 3: invalid uid: blanks at its ends"},
        {file("empty", "uid,sn\njdoe,D\n,E\n"), 236, "line 3: you must define option -uid"},
        // One stored login, whatever the case.
        {file("twice", "sn,uid\nD,jdoe\nA,alice\nE,JDoe\n"), 236,
         "line 4: uid JDoe repeats line 2"},
        {dir + "/fifo", 248, "batch file"},
        {dir, 248, "batch file"},
        {dir + "/large", 248, "batch file"},
    };
    for (const Case& c : cases) {
        // A directory that cannot be reached: a run that got that far would
        // end 237, not with the refusal.
        const ProcessResult r =
            runProcess(DROPACCT_BIN, {"-ldap", "-LH", "127.0.0.1", "-LP", "1", "-bDN", "o=site",
                                      "-al", "admin", "-ap", "secret", "-batch", c.path});
        EXPECT_EQ(c.status, r.status) << c.path << ": " << r.out;
        EXPECT_NE(std::string::npos, r.out.find(c.message)) << c.path << ": " << r.out;
    }
}

}  // namespace
