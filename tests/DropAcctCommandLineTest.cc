// dropacct's front end as callers see it: options and standard input, the
// order of the parameter checks, help and version texts, exit statuses. No
// server is involved: every run here stops before contacting one.
#include <gtest/gtest.h>

#include "tests/support/Process.h"

namespace {

ProcessResult dropacct(const std::vector<std::string>& args) {
    return runProcess(DROPACCT_BIN, args);
}
size_t occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}
ProcessResult dropacctStdin(const std::string& input, std::vector<std::string> args = {}) {
    return runProcess(DROPACCT_BIN, args, input, true);
}

TEST(DropAcctOptions, UidAloneRemovesNothingAndSucceeds) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"-uid", "jdoe"}, {"--uid=jdoe"}, {"--uid", "jdoe"}, {"-ui", "jdoe"}}) {
        const ProcessResult r = dropacct(args);
        EXPECT_EQ(0, r.status) << args[0];
        EXPECT_EQ("", r.out);
    }
}

TEST(DropAcctOptions, ChecksRunInOrderWithTheirStatuses) {
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* message;
    } cases[] = {
        {{"-imap", "-ldap"}, 252, "you must define option -uid\n"},
        // The directory ignores blanks at the ends of a name: "alice " is alice.
        {{"-uid", "alice "}, 252, "invalid uid: blanks at its ends or control characters\n"},
        {{"-uid", "jdoe\r"}, 252, "invalid uid: blanks at its ends or control characters\n"},
        {{"-uid", "j", "-ldap", "-LH", ""}, 246, "invalid LDAP-Server\n"},
        {{"-uid", "j", "-ldap", "-LP", "0"}, 245, "invalid LDAP-Port\n"},
        {{"-uid", "j", "-ldap", "-al", "a", "-ap", "p"}, 251, "you must define option -bDN\n"},
        {{"-uid", "j", "-ldap", "-bDN", "o=site", "-ap", "p"}, 254, "you must define option -al\n"},
        {{"-uid", "j", "-ldap", "-bDN", "o=site", "-al", "a"}, 253, "you must define option -ap\n"},
        {{"-uid", "j", "-imap", "-CH", "", "-al", "a", "-ap", "p"}, 246, "invalid IMAP-Server\n"},
        {{"-uid", "j", "-imap", "-CP", "abc", "-al", "a", "-ap", "p"}, 245, "invalid IMAP-Port\n"},
        {{"-uid", "j", "-imap", "-ap", "p"}, 254, "you must define option -al\n"},
        {{"-uid", "j", "-imap", "-al", "a"}, 253, "you must define option -ap\n"},
    };
    for (const Case& c : cases) {
        const ProcessResult r = dropacct(c.args);
        EXPECT_EQ(c.status, r.status) << c.message;
        EXPECT_EQ(c.message, r.out);
    }
}

TEST(DropAcctOptions, HelpAndVersionEndTheRunWithStatusOne) {
    const ProcessResult version = dropacct({"-uid", "jdoe", "-V", "-imap"});
    EXPECT_EQ(1, version.status);
    EXPECT_EQ("dropacct $Revision: 1.2 $\n\n", version.out);

    const ProcessResult help = dropacct({"--help"});
    EXPECT_EQ(1, help.status);
    EXPECT_EQ(0u, help.out.find("delete a user ...\n\n    dropacct -al <login> -ap <password>"));
    EXPECT_NE(std::string::npos,
              help.out.find(" -noacl   do not process IMAP ACLs\n -help    this message\n"));
    EXPECT_EQ(41, std::count(help.out.begin(), help.out.end(), '\n'));
}

TEST(DropAcctOptions, ParserErrorsStoreNothingAndEndWith255) {
    // Without the mend an unknown option's value would land in the Cyrus host.
    const ProcessResult unknown =
        dropacct({"-uid", "jdoe", "-bogus", "-imap", "-al", "a", "-ap", "p"});
    EXPECT_EQ(255, unknown.status);
    EXPECT_EQ("", unknown.out);
    EXPECT_NE(std::string::npos, unknown.err.find("bogus"));

    const ProcessResult missing = dropacct({"-uid"});
    EXPECT_EQ(255, missing.status);
    EXPECT_NE(std::string::npos, missing.err.find("uid"));
}

TEST(DropAcctStdin, ReadsNameValueLinesAndFlags) {
    // "-" first selects standard input; later arguments are ignored.
    const ProcessResult r = dropacctStdin("uid=jdoe\nimap\nal=admin\n", {"-", "-ldap"});
    EXPECT_EQ(253, r.status);
    EXPECT_EQ("you must define option -ap\n", r.out);

    const ProcessResult noArgs = dropacctStdin("uid=jdoe\nldap\nLH=\nPP=5432\nunknown=1\n");
    EXPECT_EQ(246, noArgs.status);
}

TEST(DropAcctStdin, LinesWithoutValueWriteTheHelpText) {
    const std::string helpStart = "delete a user ...\n";
    // An empty line: help twice, nothing changes.
    ProcessResult r = dropacctStdin("uid=jdoe\n\n");
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(2u, occurrences(r.out, helpStart));

    // "uid=" writes the help text and empties the uid; "debug" has no meaning here.
    r = dropacctStdin("uid=jdoe\nuid=\ndebug\n");
    EXPECT_EQ(252, r.status);
    EXPECT_NE(std::string::npos, r.out.find("you must define option -uid\n"));
    EXPECT_EQ("", r.err);
}

}  // namespace
