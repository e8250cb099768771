// newacct -batch against a private slapd: each row ends as its single run
// would, the directory as after the single runs in file order; a cut batch
// run again creates exactly what is missing; a batch beside single runs
// shares no number or address; made-up passwords; refused files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

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
[[maybe_unused]] std::string latin1(const std::string& utf8) {
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

// uid -> the rest of its result line.
std::map<std::string, std::string> results(const std::string& out) {
    std::map<std::string, std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        lines[line.substr(0, line.find('\t'))] = line.substr(line.find('\t') + 1);
    return lines;
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

// p15's contact is there already: its add fails after the user entry.
const char* const kStaleContact =
    "dn: uid=p15:system,o=AddressBook,o=site\nobjectClass: inetOrgPerson\n"
    "uid: p15:system\ncn: stale\nsn: stale\n";

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
    Slapd batch{kStaleContact}, singles{kStaleContact};
    const std::string before = batch.dump();
    const ProcessResult plan =
        newacct(shared(batch.portText(), {"-up", "pw", "-dryrun", "-batch", file}));
    EXPECT_EQ(before, batch.dump());
    const ProcessResult run = newacct(shared(batch.portText(), {"-up", "pw", "-batch", file}));
    EXPECT_EQ(237, run.status) << run.err;
    const auto made = results(run.out);
    ASSERT_EQ(40u, made.size()) << run.out;
    const auto planned = results(plan.out.substr(plan.out.find("p01\t")));
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
        // A plan cannot know that p15's contact add fails, so it gives p15
        // a number and every later row the next one.
        if (row[0] != "p15") {
            EXPECT_EQ(line[0] == '0' ? "0\t" : line,
                      planned.at(row[0]).substr(0, line[0] == '0' ? 2 : std::string::npos))
                << row[0];
        }
    }
    EXPECT_EQ(withoutHashes(singles.dump()), withoutHashes(batch.dump()));
}

}  // namespace
