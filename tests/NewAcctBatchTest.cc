// newacct -batch against a private slapd: each row ends as its single run
// would, the directory as after the single runs in file order; a cut batch
// run again creates exactly what is missing; a batch beside single runs
// shares no number or address; made-up passwords; refused files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "account/Passwords.h"
#include "tests/support/AccountRuns.h"
#include "tests/support/DroppingProxy.h"
#include "tests/support/Process.h"
#include "tests/support/Slapd.h"

namespace {

const std::vector<std::string> kUtf8{"LC_ALL=C.UTF-8"};

std::vector<std::string> shared(const std::string& port, std::vector<std::string> more = {}) {
    std::vector<std::string> args{"-H",     "127.0.0.1", "-P",    port,  "-bDN",
                                  "o=site", "-al",       "admin", "-ap", "secret",
                                  "-o",     "Acme",      "-c",    "DE",  "-writeglobaladdress",
                                  "allowed"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

ProcessResult newacct(const std::vector<std::string>& args) {
    return runProcess(NEWACCT_BIN, args, "", false, kUtf8);
}

using Rows = std::vector<std::vector<std::string>>;  // the header first

std::string csvCell(const std::string& cell) {
    if (cell.find_first_of(";\"\n") == std::string::npos)
        return cell;
    std::string quoted = "\"";
    for (char c : cell)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string csv(const Rows& rows, const std::string& start = "\xef\xbb\xbf") {
    std::string text = start;
    for (const auto& row : rows) {
        for (size_t i = 0; i < row.size(); ++i)
            text += (i ? ";" : "") + csvCell(row[i]);
        text += "\r\n";
    }
    return text;
}

// Our cells hold only Latin-1 letters.
std::string latin1(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char c = utf8[i];
        out += c >= 0xc0 ? static_cast<char>(((c & 0x1f) << 6) | (utf8[++i] & 0x3f))
                         : static_cast<char>(c);
    }
    return out;
}

std::string writeFile(const std::string& name, const std::string& text, mode_t mode = 0600) {
    const std::string path = testing::TempDir() + "/" + name;
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    chmod(path.c_str(), mode);
    return path;
}

std::string withoutHashes(std::string dump) {
    for (size_t at; (at = dump.find("userPassword:: ")) != std::string::npos;)
        dump.erase(at, dump.find('\n', at) - at + 1);
    return dump;
}

// The 40 rows: names with umlauts, two class columns, an alias column, a
// quoted title with separators, quotes and a line break, and rows that fail
// before and after writing.
Rows roster() {
    Rows rows{{"uid", "sn", "givenname", "mail", "class", "class", "alias", "title"}};
    for (int i = 1; i <= 40; ++i) {
        char uid[8];
        std::snprintf(uid, sizeof uid, "p%02d", i);
        const std::string id = uid;
        rows.push_back({id,
                        i % 3 ? "M\xc3\xbcller"
                              : "Stra\xc3\x9f"
                                "e",
                        i % 2 ? "J\xc3\xb6rg" : "", i % 2 ? "" : id + "@example.org",
                        i % 2 ? "users" : "", i % 5 ? "" : "staff", i % 4 ? "" : "a" + id,
                        i % 7 ? "" : "Head; Music\nand \"Arts\""});
    }
    rows[9][6] = "ap04";   // an earlier row's alias
    rows[12][4] = "mail";  // a system group without a directory group
    rows[18][6] = "ally";  // alice's alias
    rows[21][1] = "";      // no surname
    rows[24][5] = "no-such-group-here";
    rows[27][3] = "nohost";
    return rows;
}

// p15's contact is there already and refuses every change: p15 fails after
// its user entry is written.
const char* const kStaleContact =
    "dn: uid=p15:system,o=AddressBook,o=site\nobjectClass: inetOrgPerson\n"
    "uid: p15:system\ncn: stale\nsn: stale\n";
const char* const kLockedContact =
    "access to dn.exact=\"uid=p15:system,o=AddressBook,o=site\"\n\tby * read\n";

// What a failed single run left of `login`, removed as a batch takes it back.
void removeLeftovers(const Slapd& slapd, const std::string& login, bool contact) {
    for (const std::string& group : slapd.holders("(memberUid=" + login + ")"))
        slapd.modify("dn: " + group +
                     "\nchangetype: modify\ndelete: memberUid\nmemberUid: " + login + "\n");
    const std::string dn = "uid=" + login + ",o=site";
    if (!slapd.holders("(member=" + dn + ")").empty())
        slapd.modify(
            "dn: cn=AddressAdmins,o=AddressBook,o=site\nchangetype: modify\n"
            "delete: member\nmember: " +
            dn + "\n");
    std::vector<std::string> entries{"ou=addr," + dn, dn};
    if (contact)
        entries.insert(entries.begin(), "uid=" + login + ":system,o=AddressBook,o=site");
    for (const std::string& entry : entries) {
        if (slapd.exists(entry))
            slapd.modify("dn: " + entry + "\nchangetype: delete\n");
    }
}

TEST(NewAcctBatch, EachRowAsItsSingleRunInFileOrder) {
    const Rows rows = roster();
    const std::string file = writeFile("roster.csv", csv(rows), 0644);
    Slapd batch{kStaleContact, kLockedContact}, singles{kStaleContact, kLockedContact};
    const std::string before = batch.dump();
    const ProcessResult plan =
        newacct(shared(batch.portText(), {"-up", "pw", "-dryrun", "-batch", file}));
    EXPECT_EQ(before, batch.dump());
    const ProcessResult run = newacct(shared(batch.portText(), {"-up", "pw", "-batch", file}));
    EXPECT_EQ(237, run.status) << run.err;
    const auto made = resultLines(run.out);
    ASSERT_EQ(40u, made.size()) << run.out;
    const auto planned = resultLines(plan.out.substr(plan.out.find("p01\t")));
    for (size_t r = 1; r < rows.size(); ++r) {
        const std::vector<std::string>& row = rows[r];
        std::vector<std::string> args = shared(singles.portText(), {"-up", "pw"});
        for (size_t c = 0; c < row.size(); ++c) {
            if (!row[c].empty())
                args.insert(args.end(), {"-" + rows[0][c], row[c]});
        }
        const ProcessResult single = newacct(args);
        const std::string& line = made.at(row[0]);
        if (single.status == 0) {
            // The same number as the single run took.
            EXPECT_EQ("0\t", line.substr(0, 2)) << row[0];
            EXPECT_NE(std::string::npos,
                      singles.search("uid=" + row[0] + ",o=site", "(objectClass=*)", "base")
                          .find("uidNumber: " + line.substr(2) + "\n"))
                << row[0] << " " << line;
        } else {
            EXPECT_EQ(
                std::to_string(single.status) + "\t" + single.out.substr(0, single.out.size() - 1),
                line)
                << row[0];
            // A batch takes back what a failed row wrote.
            removeLeftovers(singles, row[0], row[0] != "p15");
        }
        // A plan cannot know that p15's contact refuses its change, so it
        // gives p15 a number and every later row the next one.
        if (row[0] != "p15") {
            EXPECT_EQ(line[0] == '0' ? "0\t" : line,
                      planned.at(row[0]).substr(0, line[0] == '0' ? 2 : std::string::npos))
                << row[0];
        }
    }
    EXPECT_EQ(withoutHashes(singles.dump()), withoutHashes(batch.dump()));
}

// Cut before p20's entry goes out, then run again (from a Latin-1 copy of
// the roster): the accounts missing are made, the others are "already
// there", and the directory ends as after one uncut run.
TEST(NewAcctBatch, ACutBatchRunAgainMakesWhatIsMissing) {
    const Rows rows = roster();
    const std::string utf8 = writeFile("whole.csv", csv(rows), 0644);
    const std::string latin = writeFile("latin1.csv", latin1(csv(rows, "")), 0644);
    Slapd whole{kStaleContact, kLockedContact}, cut{kStaleContact, kLockedContact};
    const auto wholeLines =
        resultLines(newacct(shared(whole.portText(), {"-up", "pw", "-batch", utf8})).out);
    {
        DroppingProxy proxy(cut.port(), "uid=p20,o=site");
        const ProcessResult first =
            newacct(shared(proxy.portText(), {"-up", "pw", "-batch", latin}));
        EXPECT_EQ(237, first.status);
        const auto lines = resultLines(first.out);
        ASSERT_EQ(40u, lines.size()) << first.out;
        EXPECT_EQ(wholeLines.at("p19"), lines.at("p19"));
        EXPECT_EQ("244\tnot done: the connection to the directory was lost", lines.at("p40"));
    }
    const ProcessResult again = newacct(shared(cut.portText(), {"-up", "pw", "-batch", latin}));
    const auto lines = resultLines(again.out);
    for (const auto& [uid, line] : wholeLines) {
        const bool madeBefore = uid < "p20" && line[0] == '0';
        EXPECT_EQ(madeBefore ? "242\tfailed to add entry: Already exists" : line, lines.at(uid))
            << uid;
    }
    EXPECT_EQ(withoutHashes(whole.dump()), withoutHashes(cut.dump()));
}

// Cut after r2's entry is written: its take-back cannot reach the directory
// either, and its line names what may be left.
TEST(NewAcctBatch, ATakeBackThatFailsNamesWhatIsLeft) {
    Slapd slapd;
    const std::string file =
        writeFile("cut.csv", csv({{"uid", "sn"}, {"r1", "R"}, {"r2", "R"}, {"r3", "R"}}), 0644);
    DroppingProxy proxy(slapd.port(), "ou=addr,uid=r2,o=site");
    const ProcessResult r = newacct(shared(proxy.portText(), {"-up", "pw", "-batch", file}));
    EXPECT_EQ(237, r.status);
    const auto lines = resultLines(r.out);
    EXPECT_EQ("0\t2003", lines.at("r1"));
    EXPECT_EQ(0u, lines.at("r2").find("242\tfailed to add entry: Can't contact LDAP server; "
                                      "taking back failed (Can't contact LDAP server), left in "
                                      "the directory: "))
        << lines.at("r2");
    EXPECT_NE(std::string::npos, lines.at("r2").find("ou=addr,uid=r2,o=site, uid=r2,o=site"));
    EXPECT_EQ("244\tnot done: the connection to the directory was lost", lines.at("r3"));
    EXPECT_TRUE(slapd.exists("uid=r2,o=site"));
}

// Eight single runs claim aliases of the batch's rows while it runs.
TEST(NewAcctBatch, BesideSingleRunsEveryNumberAndAddressOnce) {
    Slapd slapd;
    Rows rows{{"uid", "sn", "alias"}};
    for (int i = 1; i <= 30; ++i)
        rows.push_back({"q" + std::to_string(i), "Q", "x" + std::to_string(i)});
    const std::string file = writeFile("beside.csv", csv(rows), 0644);
    ProcessResult batch;
    std::vector<ProcessResult> singles(8);
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        batch = newacct(shared(slapd.portText(), {"-up", "pw", "-batch", file}));
    });
    for (int k = 0; k < 8; ++k) {
        threads.emplace_back([&, k] {
            singles[k] = newacct(
                shared(slapd.portText(), {"-up", "pw", "-uid", "s" + std::to_string(k), "-sn", "S",
                                          "-alias", "x" + std::to_string(4 * k + 2)}));
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (const auto& [uid, line] : resultLines(batch.out)) {
        const std::string alias = "x" + uid.substr(1);
        EXPECT_TRUE(line[0] == '0' || line == "240\tAlias " + alias + " already exists. Aborted")
            << line;
    }
    std::vector<long> numbers = slapd.uidNumbers();
    EXPECT_EQ(numbers.size(), std::set<long>(numbers.begin(), numbers.end()).size());
    EXPECT_EQ(2u + 30u, numbers.size());  // alice, bob and one holder per alias
    for (int i = 1; i <= 30; ++i)
        EXPECT_EQ(1u, slapd.holders("(alias=x" + std::to_string(i) + ")").size()) << i;
}

// A password as the one generator makes them: its length, its alphabet.
bool madeUp(const std::string& password) {
    return password.size() == kMadePasswordLength &&
           password.find_first_not_of(kPasswordAlphabet) == std::string::npos;
}

TEST(NewAcctBatch, MadeUpPasswords) {
    Slapd slapd;
    Rows rows{{"uid", "sn", "up"}};
    for (int i = 1; i <= 6; ++i)
        rows.push_back({"g" + std::to_string(i), "G", i == 6 ? "given1" : ""});
    const std::string file = writeFile("genpw.csv", csv(rows));
    const std::string again =
        writeFile("genpw2.csv", csv({{"uid", "sn"}, {"t1", "T"}, {"t2", "T"}}));
    // With the audit lines caught by the preloaded syslog stand-in.
    const std::string capture = testing::TempDir() + "/batch-syslog";
    std::remove(capture.c_str());
    const ProcessResult r = runProcess(
        NEWACCT_BIN, shared(slapd.portText(), {"-genpw", "-reqpwdchange", "-batch", file}), "",
        false, joined({"LC_ALL=C.UTF-8"}, syslogCaptured(capture)));
    ASSERT_EQ(0, r.status) << r.out << r.err;
    std::ifstream in(capture);
    const std::string audit((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (int i = 1; i <= 6; ++i) {
        EXPECT_NE(std::string::npos,
                  audit.find("newacct: by=admin uid=g" + std::to_string(i) +
                             " uidnumber=" + std::to_string(2002 + i) + " gid=100 home=/home/g" +
                             std::to_string(i) + " status=0\n"))
            << audit;
    }
    EXPECT_EQ(6, std::count(audit.begin(), audit.end(), '\n'));
    std::set<std::string> passwords;
    for (const auto& [uid, line] : resultLines(r.out)) {
        const std::string password = line.substr(line.find('\t', 2) + 1);
        if (uid == "g6") {
            EXPECT_EQ(std::string::npos, line.find('\t', 2));  // its own password
            EXPECT_TRUE(slapd.binds("uid=" + uid + ",o=site", "given1"));
            continue;
        }
        EXPECT_TRUE(madeUp(password)) << password;
        EXPECT_TRUE(slapd.binds("uid=" + uid + ",o=site", password)) << uid;
        passwords.insert(password);
        EXPECT_EQ(std::string::npos, audit.find(password));
        EXPECT_NE(std::string::npos,
                  slapd.search("uid=" + uid + ",o=site").find("shadowLastChange: 0\n"));
    }
    EXPECT_EQ(5u, passwords.size());
    // A system that grants no thread only makes the hashing slower.
    const ProcessResult threadless =
        runProcess(NEWACCT_BIN, shared(slapd.portText(), {"-genpw", "-batch", again}), "", false,
                   {"LC_ALL=C.UTF-8", "LD_PRELOAD=" NO_THREADS_SHIM,
                    "ASAN_OPTIONS=detect_leaks=1:verify_asan_link_order=0"});
    EXPECT_EQ(0, threadless.status) << threadless.out << threadless.err;
    EXPECT_EQ(2u, resultLines(threadless.out).size());
    // A single run prints the password it made.
    const ProcessResult single =
        newacct(shared(slapd.portText(), {"-genpw", "-uid", "one", "-sn", "O"}));
    ASSERT_EQ(0, single.status) << single.out;
    const std::string password = single.out.substr(0, single.out.size() - 1);
    EXPECT_TRUE(madeUp(password)) << password;
    EXPECT_TRUE(slapd.binds("uid=one,o=site", password));
}

// dropacct keeps the contact card of a login it removes: a pupil who comes
// back is created again, by a single run and by a batch, and the card takes
// the new account's values (nothing of the old ones stays).
TEST(NewAcctBatch, ALoginRemovedBeforeIsCreatedAgain) {
    Slapd slapd;
    const std::string card = "uid=back:system,o=AddressBook,o=site";
    const auto drop = [&slapd, &card] {
        const ProcessResult r =
            runProcess(DROPACCT_BIN, {"-ldap", "-LH", "127.0.0.1", "-LP", slapd.portText(), "-bDN",
                                      "o=site", "-al", "admin", "-ap", "secret", "-uid", "back"});
        ASSERT_EQ(0, r.status) << r.out;
        ASSERT_TRUE(slapd.exists(card));
    };
    ASSERT_EQ(0, newacct(shared(slapd.portText(),
                                {"-up", "pw", "-uid", "back", "-sn", "Old", "-givenname", "Olga",
                                 "-mail", "old@x.org", "-ou", "Staff"}))
                     .status);
    drop();
    const ProcessResult single = newacct(shared(
        slapd.portText(), {"-up", "pw", "-uid", "back", "-sn", "New", "-mail", "new@x.org"}));
    ASSERT_EQ(0, single.status) << single.out;
    std::string shown = slapd.search(card, "(objectClass=*)", "base");
    EXPECT_NE(std::string::npos, shown.find("\nsn: New\ncn: New\nmail: new@x.org\n")) << shown;
    for (const char* old : {"Olga", "Old", "old@x.org", "ou: "})
        EXPECT_EQ(std::string::npos, shown.find(old)) << old;
    drop();
    const std::string file =
        writeFile("back.csv", csv({{"uid", "sn", "givenname"}, {"back", "Back", "Bea"}}), 0644);
    const ProcessResult batch = newacct(shared(slapd.portText(), {"-up", "pw", "-batch", file}));
    EXPECT_EQ(0, batch.status) << batch.out;
    shown = slapd.search(card, "(objectClass=*)", "base");
    EXPECT_NE(std::string::npos, shown.find("givenName: Bea\n")) << shown;
    EXPECT_NE(std::string::npos, shown.find("cn: Bea Back\n"));
    EXPECT_EQ(std::string::npos, shown.find("mail: "));
}

// The base DN as an administrator may write it: the class group is found
// all the same.
TEST(NewAcctBatch, ClassGroupsWhateverTheBaseDnSpelling) {
    Slapd slapd;
    const std::string file =
        writeFile("spelled.csv", csv({{"uid", "sn", "class"}, {"sp1", "S", "users"}}), 0644);
    std::vector<std::string> args = shared(slapd.portText(), {"-up", "pw", "-batch", file});
    *std::find(args.begin(), args.end(), "o=site") = "O = Site";
    const ProcessResult r = newacct(args);
    EXPECT_EQ(0, r.status) << r.out;
    EXPECT_NE(std::string::npos, slapd.search("cn=users,o=site").find("memberUid: sp1\n"));
}

TEST(NewAcctBatch, RefusedFilesChangeNothing) {
    Slapd slapd;
    const std::string before = slapd.dump();
    const struct {
        std::string text;
        mode_t mode;
        int status;
        std::string why;
    } cases[] = {
        {"sn\nDoe\n", 0644, 236, "no uid column"},
        {"uid,bogus\njdoe,y\n", 0644, 236, "column \"bogus\" names no parameter of an account"},
        {"uid,bDN\njdoe,o=other\n", 0644, 236, "column \"bDN\" names no parameter of an account"},
        {"uid;sn\njdoe;D\n\nJDoe;E\n", 0644, 236, "line 4: uid JDoe repeats line 2"},
        {"uid,sn\n\"jdoe \",D\n", 0644, 236,
         "line 2: invalid uid: blanks at its ends or control characters"},
        {"uid,sn\n,D\n", 0644, 236, "line 2: you must define option -uid"},
        {"uid,sn,up\njdoe,D,pw\n", 0640, 248, ""},
    };
    for (const auto& c : cases) {
        const std::string path = writeFile("refused.csv", c.text, c.mode);
        const ProcessResult r = newacct(shared(slapd.portText(), {"-up", "pw", "-batch", path}));
        EXPECT_EQ(c.status, r.status) << c.text;
        EXPECT_EQ(c.status == 248 ? "refusing batch file " + path +
                                        ": it holds passwords and other users can read it "
                                        "(chmod 600 it)\n"
                                  : "batch file " + path + ": " + c.why + "\n",
                  r.err);
        EXPECT_EQ("", r.out);
    }
    EXPECT_EQ(248, newacct(shared(slapd.portText(), {"-batch", "/nonexistent.csv"})).status);
    EXPECT_EQ(before, slapd.dump());
}

}  // namespace
