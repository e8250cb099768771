// What operators rely on beyond the removal itself: passwords kept out of
// the process list, password files, and site defaults that every value
// given on the command line or standard input overrides.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "common/MyException.h"
#include "dropacct/DropAcct.h"
#include "tests/support/Accounts.h"
#include "tests/support/Cyrus.h"
#include "tests/support/Process.h"
#include "tests/support/Runs.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/Slapd.h"

namespace {

std::string fileWith(const std::string& name, const std::string& text, mode_t mode) {
    const std::string path = testing::TempDir() + "/" + name;
    std::ofstream(path) << text;
    chmod(path.c_str(), mode);
    return path;
}

// The running process whose arguments hold `marker`: its argument area and
// its resource limits.
struct RunningProcess {
    std::string arguments;
    std::string limits;
};

RunningProcess processWith(const std::string& marker) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        DIR* proc = opendir("/proc");
        while (dirent* entry = readdir(proc)) {
            const std::string dir = std::string("/proc/") + entry->d_name;
            std::ifstream in(dir + "/cmdline");
            const std::string arguments((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
            if (arguments.find(marker) != std::string::npos &&
                arguments.find("watch") != std::string::npos) {
                closedir(proc);
                std::ifstream limits(dir + "/limits");
                return {arguments, std::string((std::istreambuf_iterator<char>(limits)),
                                               std::istreambuf_iterator<char>())};
            }
        }
        closedir(proc);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return {};
}

TEST(Secrets, PasswordsLeaveTheProcessListAndNoCoreFileHoldsThem) {
    const struct {
        const char* program;
        std::vector<ScriptStep> script;
        std::vector<std::string> args;
        const char* marker;
    } runs[] = {
        {DROPACCT_BIN,
         {send("* OK ready\r\n"), readLine(), pause(4000), closeConnection()},
         {"-imap", "-CH", "127.0.0.1", "-al", "admin", "-ap", "adminpw-1", "-pgpasswd", "pgpw-2",
          "-uid", "watch-d"},
         "watch-d"},
        {NEWACCT_BIN,
         {pause(4000), closeConnection()},
         {"-H", "127.0.0.1", "-bDN", "o=site", "-al", "admin", "-ap=adminpw-1", "-up", "userpw-3",
          "-sn", "S", "-o", "O", "-c", "DE", "-uid", "watch-n"},
         "watch-n"},
        {MODACCT_BIN,
         {pause(4000), closeConnection()},
         {"-H", "127.0.0.1", "-bDN", "o=site", "-al", "admin", "-ap=adminpw-1", "-up", "userpw-3",
          "-uid", "watch-m"},
         "watch-m"},
    };
    for (const auto& run : runs) {
        ScriptedServer silent(run.script);
        std::vector<std::string> args = run.args;
        args.insert(args.begin(),
                    {run.program == std::string(DROPACCT_BIN) ? "-CP" : "-P", silent.portText()});
        ProcessResult result;
        std::thread running([&] { result = runProcess(run.program, args); });
        // A loaded machine may start the program late: look until the
        // secrets are gone or the program has had ample time to erase them.
        RunningProcess seen;
        for (int look = 0; look < 100; ++look) {
            seen = processWith(run.marker);
            if (seen.arguments.find("pw-") == std::string::npos) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        running.join();
        EXPECT_NE("", seen.arguments) << run.program;
        for (const char* secret : {"adminpw-1", "pgpw-2", "userpw-3"}) {
            EXPECT_EQ(std::string::npos, seen.arguments.find(secret)) << run.program;
        }
        // Nor can a core file keep them: no core at all, and none allowed later.
        std::istringstream limits(seen.limits.substr(seen.limits.find("Max core file size") + 18));
        std::string soft, hard;
        limits >> soft >> hard;
        EXPECT_EQ("0 0", soft + " " + hard) << run.program << "\n" << seen.limits;
        EXPECT_NE(0, result.status);
    }
}

TEST(Secrets, PasswordFiles) {
    Slapd slapd;
    const std::string good = fileWith("apfile-good", "secret\nsecond line\n", 0600);
    const std::string wrong = fileWith("apfile-wrong", "wrong\n", 0600);
    const std::string open = fileWith("apfile-open", "secret\n", 0644);
    const std::string missing = testing::TempDir() + "/apfile-missing";
    const std::string endless = fileWith("apfile-endless", std::string(5000, 'x'), 0600);
    // A FIFO without a writer would block a reader that opens it as a file.
    const std::string fifo = testing::TempDir() + "/apfile-fifo";
    unlink(fifo.c_str());
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    const std::vector<std::string> drop{"-ldap",          "-LH",  "127.0.0.1", "-LP",
                                        slapd.portText(), "-bDN", "o=site",    "-al",
                                        "admin",          "-uid", "nobody"};
    const struct {
        std::string file;
        int status;
        std::string message;
    } cases[] = {
        {good, 240, ""},  // bound: the uid is then unknown
        {wrong, 249, "ldap bind failed\nInvalid credentials\n"},
        {open, 248,
         "refusing password file " + open + ": other users can read it (chmod 600 it)\n"},
        {missing, 248, "cannot read password file " + missing + ": No such file or directory\n"},
        {fifo, 248, "refusing password file " + fifo + ": not a regular file of at most 1 MiB\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = drop;
        args.insert(args.end(), {"-apfile", c.file});
        const ProcessResult r = runProcess(DROPACCT_BIN, args);
        EXPECT_EQ(c.status, r.status) << c.file;
        if (!c.message.empty()) {
            EXPECT_EQ(c.message, r.out);
        }
        // newacct reads it the same way; its parameter errors go to standard error.
        const ProcessResult n =
            runProcess(NEWACCT_BIN, {"-H",      "127.0.0.1", "-P",   slapd.portText(),
                                     "-bDN",    "o=site",    "-al",  "admin",
                                     "-apfile", c.file,      "-uid", "pf",
                                     "-sn",     "S",         "-up",  "pw",
                                     "-o",      "O",         "-c",   "DE"});
        EXPECT_EQ(c.status == 240 ? 0 : c.status == 249 ? 244 : 248, n.status) << c.file;
        if (c.status == 248) {
            EXPECT_EQ(c.message, n.err);
        }
    }
}

TEST(SiteDefaults, TakenOverriddenAndRefused) {
    Slapd slapd;
    const std::string port = slapd.portText();
    // Shared by both programs: each takes the names it knows.
    const std::string defaults =
        fileWith("mailacct.conf",
                 "# site defaults\nbDN=o=site\nal=admin\nap=secret\nH=127.0.0.1\nP=" + port +
                     "\nLH=127.0.0.1\nLP=" + port + "\nbogus=1\n",
                 0600);
    ProcessResult r = runProcess(NEWACCT_BIN, {"-config", defaults, "-uid", "d1", "-sn", "S", "-up",
                                               "pw", "-o", "O", "-c", "DE"});
    EXPECT_EQ(0, r.status) << r.out << r.err;
    // An option and a standard-input line win over the file.
    r = runProcess(NEWACCT_BIN, {"-config", defaults, "-uid", "d2", "-sn", "S", "-up", "pw", "-o",
                                 "O", "-c", "DE", "-ap", "wrong"});
    EXPECT_EQ(244, r.status);
    r = runProcess(DROPACCT_BIN, {}, "ldap\nconfig=" + defaults + "\nuid=d1\nbDN=o=elsewhere\n",
                   true);
    EXPECT_EQ(249, r.status) << r.out;  // no administrator below o=elsewhere
    r = runProcess(DROPACCT_BIN, {}, "ldap\nconfig=" + defaults + "\nuid=d1\n", true);
    EXPECT_EQ(0, r.status) << r.out;
    EXPECT_FALSE(slapd.exists("uid=d1,o=site"));

    const std::string open = fileWith("open.conf", "bDN=o=site\nap=secret\n", 0644);
    r = runProcess(DROPACCT_BIN, {"-ldap", "-uid", "x", "-config", open});
    EXPECT_EQ(248, r.status);
    EXPECT_EQ("refusing configuration file " + open +
                  ": it holds a password (ap) and other users can read it (chmod 600 it)\n",
              r.out);
    EXPECT_EQ(0, runProcess(DROPACCT_BIN, {"-uid", "x", "-config",
                                           fileWith("open-no-password.conf", "al=a\n", 0644)})
                     .status);
    r = runProcess(NEWACCT_BIN, {"-config", testing::TempDir() + "/none.conf", "-uid", "x"});
    EXPECT_EQ(248, r.status);
    r = runProcess(DROPACCT_BIN, {"-uid", "x", "-config", testing::TempDir()});
    EXPECT_EQ(248, r.status);
    EXPECT_EQ("refusing configuration file " + testing::TempDir() +
                  ": not a regular file of at most 1 MiB\n",
              r.out);
}

TEST(SiteDefaults, TheDefaultFileMayBeMissing) {
    DropAcct::siteDefaults = testing::TempDir() + "/no-such-mailacct.conf";
    DropAcct missing;
    missing.addParam("uid", "x");
    EXPECT_NO_THROW(missing.applySiteDefaults());

    DropAcct::siteDefaults = fileWith("site.conf", "ldap\nLP=0\n", 0600);
    DropAcct present;
    present.addParam("uid", "x");
    present.applySiteDefaults();
    try {
        present.checkParams();
        FAIL();
    } catch (const MyException& e) {
        EXPECT_EQ("invalid LDAP-Port", e.message);
    }
    DropAcct::siteDefaults = "/etc/mailacct.conf";
}

// The audit lines, caught by a preloaded stand-in for syslog: one per run
// that went to the servers, facility authpriv (10), info (6) for a success
// and warning (4) for a failure; none for a plan or a parameter error; no
// password in any of them.
TEST(Audit, OneLinePerRunWithItsOutcome) {
    const std::string capture = testing::TempDir() + "/syslog-capture";
    std::remove(capture.c_str());
    const std::vector<std::string> environment = syslogCaptured(capture);
    Slapd slapd{kJdoeEntries};
    slapd.modify(kJdoeReferences);
    Cyrus cyrus;
    cyrus.imap({"C1 create user.jdoe", "C2 create user.jdoe.sub", "C3 create shared1",
                "A1 setacl shared1 jdoe lr"});
    cyrus.putScripts("jdoe", {"a", "b"}, "b");
    const auto run = [&](const char* program, const std::vector<std::string>& args) {
        return runProcess(program, args, "", false, environment).status;
    };
    const std::vector<std::string> create{
        "-H",  "127.0.0.1", "-P",  slapd.portText(), "-bDN", "o=site", "-al", "admin", "-uid", "nj",
        "-sn", "S",         "-up", "userpw-9",       "-o",   "O",      "-c",  "DE"};
    const auto with = [](std::vector<std::string> a, const std::vector<std::string>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    EXPECT_EQ(0, run(NEWACCT_BIN, with(create, {"-ap", "secret"})));
    EXPECT_EQ(244, run(NEWACCT_BIN, with(create, {"-ap", "wrong-pw"})));
    EXPECT_EQ(0, run(NEWACCT_BIN, with(create, {"-ap", "secret", "-uid", "plan", "-dryrun"})));
    EXPECT_EQ(254, run(NEWACCT_BIN, {"-uid", "x"}));
    EXPECT_EQ(0, run(DROPACCT_BIN, removalEverywhere(slapd, cyrus, "jdoe")));
    // A batch leaves one line per account.
    const std::string roster = fileWith("audit-roster.csv", "uid\nnj\nghost\n", 0600);
    EXPECT_EQ(0, run(DROPACCT_BIN, {"-ldap", "-LH", "127.0.0.1", "-LP", slapd.portText(), "-bDN",
                                    "o=site", "-al", "admin", "-ap", "secret", "-batch", roster}));
    std::ifstream in(capture);
    const std::string lines((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(
        "10.6 newacct: by=admin uid=nj uidnumber=2003 gid=100 home=/home/nj status=0\n"
        "10.4 newacct: by=admin uid=nj gid=100 home=/home/nj status=244 error=\"bind failed\"\n"
        "10.6 dropacct: by=admin uid=jdoe stages=ldap,sieve,imap entries=4 memberships=4 acl=4 "
        "mailboxes=3 scripts=2 status=0\n"
        "10.6 dropacct: by=admin uid=nj stages=ldap entries=2 memberships=0 acl=0 mailboxes=0 "
        "scripts=0 status=0\n"
        "10.6 dropacct: by=admin uid=ghost stages=ldap entries=0 memberships=0 acl=0 mailboxes=0 "
        "scripts=0 status=0\n",
        lines);
}

}  // namespace
