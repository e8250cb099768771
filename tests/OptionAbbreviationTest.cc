// Abbreviated options of the programs: those that meant an original option
// keep their meaning beside the newer options, and a newer option answers
// only to an abbreviation that fits no other option.
#include <gtest/gtest.h>

#include "tests/support/Process.h"

namespace {

TEST(OptionAbbreviations, OldMeaningsStayNewOptionsNeedUnambiguousOnes) {
    const struct {
        const char* program;
        std::vector<std::string> args;
        int status;
        std::string output;  // standard output and error
    } cases[] = {
        {DROPACCT_BIN, {"-uid", "x", "-d"}, 0, ""},  // -debug
        {DROPACCT_BIN, {"-uid", "x", "-l"}, 251, "you must define option -bDN\n"},
        {DROPACCT_BIN, {"-uid", "x", "-lda", "-bDN", "o"}, 254, "you must define option -al\n"},
        {DROPACCT_BIN, {"-uid", "x", "-i"}, 254, "you must define option -al\n"},
        {DROPACCT_BIN, {"-uid", "x", "-ima"}, 254, "you must define option -al\n"},
        {DROPACCT_BIN, {"-uid", "x", "-con", "/nonexistent"}, 248, ""},
        {DROPACCT_BIN, {"-uid", "x", "-c", "f"}, 255, ""},
        {NEWACCT_BIN, {"-i"}, 255, "missing value for option: -i\n"},
        {NEWACCT_BIN, {"-co"}, 255, "missing value for option: -co\n"},
        {NEWACCT_BIN, {"-con"}, 255, "missing value for option: -con\n"},
        {NEWACCT_BIN, {"-ca"}, 255, "missing value for option: -ca\n"},
        {NEWACCT_BIN, {"-t"}, 255, "wrong option: -t\n"},
        // modacct keeps newacct's original options and adds newer ones.
        {MODACCT_BIN, {"-i"}, 255, "missing value for option: -i\n"},
        {MODACCT_BIN, {"-loc"}, 254, "you must define option -al\n"},
        {MODACCT_BIN, {"-un"}, 254, "you must define option -al\n"},
        {MODACCT_BIN, {"-deb"}, 254, "you must define option -al\n"},
        {MODACCT_BIN, {"-addc"}, 255, "missing value for option: -addc\n"},
        {MODACCT_BIN, {"-sc"}, 255, "missing value for option: -sc\n"},
        {MODACCT_BIN, {"-d"}, 255, "wrong option: -d\n"},
        {MODACCT_BIN, {"-de"}, 255, "wrong option: -de\n"},
        // syncacct: newacct's and dropacct's first-release options stay
        // original, its own are newer; nothing is contacted without a roster
        // and a scope.
        {SYNCACCT_BIN, {"-gr", "x", "-batch", "r.csv"}, 232, "you must define option -scope\n"},
        {SYNCACCT_BIN, {"-gra", "x"}, 255, "-grace takes a number of days: x\n"},
        {SYNCACCT_BIN, {"-deb", "-sc", "1*"}, 232, "you must define option -batch\n"},
        {SYNCACCT_BIN, {"-C", "h"}, 255, "wrong option: -C\n"},
        {SYNCACCT_BIN,
         {"-S", "4190", "-sc", "1*", "-bat", "r.csv"},
         254,
         "you must define option -al\n"},
    };
    for (const auto& c : cases) {
        const ProcessResult r = runProcess(c.program, c.args);
        const std::string where = std::string(c.program) + " " + c.args[c.args.size() > 2 ? 2 : 0];
        EXPECT_EQ(c.status, r.status) << where << ": " << r.out << r.err;
        if (!c.output.empty()) {
            EXPECT_EQ(c.output, r.out + r.err) << where;
        }
    }
}

}  // namespace
