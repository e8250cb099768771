// Batch input read as spreadsheets write it, files refused before they can
// block or leak, and result lines in file order.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "common/BatchReport.h"
#include "common/CheckedFile.h"
#include "common/MyException.h"
#include "common/Roster.h"
#include "common/SecretFiles.h"

namespace {

using Cells = std::vector<std::string>;

Roster parsed(const std::string& bytes, const std::string& encoding = "") {
    return Roster::parse(bytes, encoding, "r.csv");
}

std::string refusal(const std::string& bytes, const std::string& encoding = "") {
    try {
        parsed(bytes, encoding);
    } catch (const MyException& e) {
        EXPECT_EQ(kBatchRefused, e.code);
        return e.message;
    }
    return "accepted";
}

TEST(Roster, ReadsWhatSpreadsheetsExport) {
    const struct {
        const char* what;
        std::string bytes;
        std::string encoding;
        Cells header;
        std::vector<Cells> rows;
        std::vector<size_t> lines;
    } cases[] = {
        {"semicolons, Windows-1252, CRLF",
         "uid;sn;givenname\r\njdoe;M\xfcller;J\xe9r\xf4me\r\n",
         "",
         {"uid", "sn", "givenname"},
         {{"jdoe", "M\xc3\xbcller", "J\xc3\xa9r\xc3\xb4me"}},
         {2}},
        {"byte-order mark, commas, short and padded rows, blank lines",
         "\xef\xbb\xbf uid ,class,class\n\na,\xc3\xa4,\nb\n,,\nc,x,y,,\n",
         "",
         {"uid", "class", "class"},
         {{"a", "\xc3\xa4", ""}, {"b", "", ""}, {"c", "x", "y"}},
         {3, 4, 6}},
        {"quoted separators, quotes, line breaks and blanks kept",
         "uid;up;description\n\"x;y\";\" pw \";\"two\nlines \"\"quoted\"\"\"\nz;;\n",
         "",
         {"uid", "up", "description"},
         {{"x;y", " pw ", "two\nlines \"quoted\""}, {"z", "", ""}},
         {2, 4}},
        {"a named encoding",
         "uid,sn\nk,\xa4\n",
         "ISO-8859-15",
         {"uid", "sn"},
         {{"k", "\xe2\x82\xac"}},
         {2}},
        {"a single column without an end of line", "uid\nsolo", "", {"uid"}, {{"solo"}}, {2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Roster roster = parsed(c.bytes, c.encoding);
        EXPECT_EQ(c.header, roster.header());
        ASSERT_EQ(c.rows.size(), roster.rows().size());
        for (size_t i = 0; i < c.rows.size(); ++i) {
            EXPECT_EQ(c.rows[i], roster.rows()[i].cells);
            EXPECT_EQ(c.lines[i], roster.rows()[i].line);
        }
    }
    EXPECT_EQ((std::vector<size_t>{1, 2}), parsed("uid;class;class\n").columns("class"));
}

TEST(Roster, RefusesWhatItCannotReadFaithfully) {
    const struct {
        std::string bytes;
        std::string encoding;
        std::string message;
    } cases[] = {
        {"", "", "it has no header row"},
        {"uid;sn\na;b;c\n", "", "line 2 has 3 cells, the header 2"},
        {"uid\n\"open\nstill open\n", "", "line 2: a quoted cell is not closed"},
        {"uid,sn\na,b\"c\n", "",
         "line 2: a quote out of place (quote the whole cell and double "
         "each quote inside it)"},
        {"uid\nok\n\x81\x8d\n", "",
         "line 3 is neither UTF-8 nor Windows-1252 (name its encoding "
         "with -encoding)"},
        {"uid\n\xff\n", "UTF-8", "line 2 is not valid UTF-8"},
        {"uid\n", "NO-SUCH-CHARSET", "unknown encoding NO-SUCH-CHARSET"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ("batch file r.csv: " + c.message, refusal(c.bytes, c.encoding));
    }
}

std::string fileWith(const std::string& name, const std::string& text, mode_t mode) {
    const std::string path = testing::TempDir() + "/" + name;
    unlink(path.c_str());
    std::ofstream(path) << text;
    chmod(path.c_str(), mode);
    return path;
}

// Password, defaults and batch files: a FIFO or folder is refused at once
// instead of blocking, and files others could read or write are refused
// where that would leak or redirect the administrator's password.
TEST(CheckedFiles, RefusedBeforeTheyBlockOrLeak) {
    const std::string fifo = testing::TempDir() + "/checked-fifo";
    unlink(fifo.c_str());
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    const std::string folder = testing::TempDir();
    const std::string foreign = fileWith("foreign.conf", "al=a\n", 0644);
    ASSERT_EQ(0, chown(foreign.c_str(), 4242, 4242));
    const struct {
        const char* what;
        std::function<void()> read;
        std::string message;  // empty: accepted
    } cases[] = {
        {"password FIFO", [&] { readPasswordFile(fifo); },
         "refusing password file " + fifo + ": not a regular file of at most 1 MiB"},
        {"defaults FIFO", [&] { readSiteDefaults(fifo, true); },
         "refusing configuration file " + fifo + ": not a regular file of at most 1 MiB"},
        {"batch FIFO", [&] { readRoster(fifo, ""); },
         "refusing batch file " + fifo + ": not a regular file of at most 16 MiB"},
        {"password folder", [&] { readPasswordFile(folder); },
         "refusing password file " + folder + ": not a regular file of at most 1 MiB"},
        {"password readable by the group",
         [&] { readPasswordFile(fileWith("pw-0640", "s\n", 0640)); },
         "refusing password file " + testing::TempDir() +
             "/pw-0640: other users can read it (chmod 600 it)"},
        {"defaults writable by the group",
         [&] { readSiteDefaults(fileWith("group-w.conf", "al=a\n", 0620), true); },
         "refusing configuration file " + testing::TempDir() +
             "/group-w.conf: other users can write it (chmod go-w it)"},
        {"defaults writable by others",
         [&] { readSiteDefaults(fileWith("others-w.conf", "al=a\n", 0602), true); },
         "refusing configuration file " + testing::TempDir() +
             "/others-w.conf: other users can write it (chmod go-w it)"},
        {"defaults of another user", [&] { readSiteDefaults(foreign, true); },
         "refusing configuration file " + foreign +
             ": it belongs to neither root nor the running user"},
        {"readable defaults without a password",
         [&] { readSiteDefaults(fileWith("open.conf", "al=a\n", 0644), true); }, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            c.read();
            EXPECT_EQ("", c.message);
        } catch (const MyException& e) {
            EXPECT_EQ(kFileRefused, e.code);
            EXPECT_EQ(c.message, e.message);
        }
    }
    unlink(fifo.c_str());
}

TEST(BatchReport, LinesInFileOrderWhateverOrderAccountsEnd) {
    std::ostringstream out;
    std::ostringstream progress;
    {
        BatchReport report(out, {"a", "b", "c", "d"}, &progress);
        report.settle(1, 0, "");
        EXPECT_EQ("", out.str());  // b waits for a
        report.settle(0, 0, "2001\tpw");
        report.settle(2, -16, "ldap bind failed\nInvalid credentials");
        EXPECT_EQ(kBatchIncomplete, (report.settleRest(-11, "lost"), report.exitCode()));
    }
    EXPECT_EQ("a\t0\t2001\tpw\nb\t0\nc\t240\tldap bind failed Invalid credentials\nd\t245\tlost\n",
              out.str());
    EXPECT_NE(std::string::npos, progress.str().find("4/4 accounts done"));

    std::ostringstream quiet;
    BatchReport all(quiet, {"a"}, nullptr);
    all.settle(0, 0, "");
    EXPECT_EQ(0, all.exitCode());
}

}  // namespace
