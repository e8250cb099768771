// newacct: its front end as callers see it, its checks and derived values,
// and the entries it writes into a private slapd.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <clocale>
#include <filesystem>
#include <fstream>

#include "common/MyException.h"
#include "newacct/NewAcct.h"
#include "tests/support/Process.h"
#include "tests/support/Slapd.h"

namespace {

ProcessResult newacct(const std::vector<std::string>& args) {
    return runProcess(NEWACCT_BIN, args);
}

const std::vector<std::string> kRequired{"-bDN", "o=site", "-al", "admin", "-ap", "secret",
                                         "-uid", "JDoe",   "-sn", "Doe",   "-up", "pw",
                                         "-o",   "Acme",   "-c",  "DE"};

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

TEST(NewAcctFrontEnd, HelpVersionAndParserErrors) {
    ProcessResult r = newacct({"-uid", "x", "-V"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("newacct $Revision: 1.11 $\n\n", r.out);
    r = newacct({"-help"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(83, std::count(r.out.begin(), r.out.end(), '\n'));
    EXPECT_NE(std::string::npos, r.out.find(" option\t\t    description"));
    // An unknown option is never stored as some other parameter.
    r = newacct({"-uid", "x", "-bogus", "y"});
    EXPECT_EQ(255, r.status);
    EXPECT_EQ("wrong option: -bogus\n", r.err);
    r = newacct({"-uid"});
    EXPECT_EQ(255, r.status);
    EXPECT_EQ("missing value for option: -uid\n", r.err);
    // On standard input "help" is just an unknown name.
    r = runProcess(NEWACCT_BIN, {}, "uid=x\nhelp\n", true);
    EXPECT_EQ(255, r.status);
    EXPECT_EQ("wrong option: help\n", r.err);
}

TEST(NewAcctFrontEnd, ChecksInOrder) {
    const std::pair<std::vector<std::string>, std::pair<int, const char*>> cases[] = {
        {{"-uid", "x"}, {254, "you must define option -al"}},
        {{"-al", "a", "-ap", "p"}, {253, "you must define option -bDN"}},
        {{"-al", "a", "-bDN", "o=site", "-sn", "x"}, {252, "you must define option -ap"}},
        {with(kRequired, {"-uid", " jdoe"}),
         {251, "invalid uid: blanks at its ends or control characters"}},
        {{"-al", "a", "-bDN", "o=site", "-ap", "p", "-sn", "x"},
         {251, "you must define option -uid"}},
        {with(kRequired, {"-mail", "nohost"}), {240, "incorrect email address: nohost"}},
        {with(kRequired, {"-pager", "- -"}), {240, "invalid pager: - -"}},
        {with(kRequired, {"-alias", "a@b"}), {240, "incorrect alias a@b. Aborted"}},
        {with(kRequired, {"-homedirectory", "home"}),
         {246, "you must define option -homedirectory and the value must be a directory"}},
        {with(kRequired, {"-jpegphoto", "/nonexistent"}), {214, "Error opening jpeg-File"}},
        {with(kRequired, {"-class", "no-such-group-here"}),
         {238, "class no-such-group-here is not a group of this system"}},
    };
    for (const auto& c : cases) {
        const ProcessResult r = newacct(c.first);
        EXPECT_EQ(c.second.first, r.status) << c.second.second;
        EXPECT_EQ(std::string(c.second.second) + "\n", r.out);
    }
}

TEST(NewAcctValues, PhoneCommonNameAndConversions) {
    NewAcct account;
    EXPECT_TRUE(account.checkPhoneString(""));
    EXPECT_TRUE(account.checkPhoneString("+49 (30) 1/2"));
    EXPECT_FALSE(account.checkPhoneString(" - "));

    std::setlocale(LC_CTYPE, "C.UTF-8");
    EXPECT_EQ("M\xc3\xbcller", account.convertToUTF8("M\xc3\xbcller"));
    std::setlocale(LC_CTYPE, "C");
    EXPECT_EQ("", account.convertToUTF8(""));
    try {
        account.convertToUTF8("M\xfcller");
        ADD_FAILURE();
    } catch (const MyException& e) {
        EXPECT_EQ(255, e.code);
    }
}

TEST(NewAcctValues, Latin1ValuesBecomeUtf8) {
    // A Latin-1 locale of our own, so the test needs no system locale.
    const std::string dir = testing::TempDir() + "/locales";
    std::filesystem::create_directories(dir);
    const ProcessResult made = runProcess(
        "/usr/bin/localedef", {"-i", "de_DE", "-f", "ISO-8859-1", dir + "/de_DE.ISO-8859-1"});
    ASSERT_EQ(0, made.status) << made.err;
    setenv("LOCPATH", dir.c_str(), 1);
    ASSERT_NE(nullptr, std::setlocale(LC_CTYPE, "de_DE.ISO-8859-1"));
    NewAcct account;
    EXPECT_EQ("M\xc3\xbcller", account.convertToUTF8("M\xfcller"));
    std::setlocale(LC_CTYPE, "C");
    unsetenv("LOCPATH");
}

TEST(NewAcctValues, FirstFreeUidNumber) {
    EXPECT_EQ(2003u, firstFreeUidNumber({2001, 2002, 2004}));
    EXPECT_EQ(2001u, firstFreeUidNumber({}));
    EXPECT_EQ(2001u, firstFreeUidNumber({500, 1000}));
    EXPECT_EQ(2001u, firstFreeUidNumber({2002}));
    EXPECT_EQ(2002u, firstFreeUidNumber({2001, 2001}));
    EXPECT_EQ(2006u, firstFreeUidNumber({2005, 2003, 2001, 2004, 2002}));
}

std::string attributeValues(const NewAcct& account, const std::string& name) {
    const LDAPAttribute* attribute = account.attributes().getAttributeByName(name);
    std::string all;
    for (const std::string& v : attribute ? attribute->getValues() : std::vector<std::string>()) {
        all += v + ";";
    }
    return all;
}

// `cells` arrive as a roster's cells do.
NewAcct checked(const std::vector<std::pair<std::string, std::string>>& extra,
                const std::vector<std::pair<std::string, std::string>>& cells = {}) {
    NewAcct account;
    for (const auto& p : std::vector<std::pair<std::string, std::string>>{{"bDN", "o=site"},
                                                                          {"al", "a"},
                                                                          {"ap", "p"},
                                                                          {"uid", "JDoe"},
                                                                          {"sn", "Doe"},
                                                                          {"up", "pw"},
                                                                          {"o", "Acme"},
                                                                          {"c", "DE"}}) {
        account.addParam(p.first, p.second);
    }
    for (const auto& p : extra)
        account.addParam(p.first, p.second);
    for (const auto& p : cells)
        account.addCell(p.first, p.second);
    account.checkParams();
    return account;
}

TEST(NewAcctValues, CheckedValues) {
    const std::string defaults = testing::TempDir() + "/useradd";
    std::ofstream(defaults) << "# HOME=/srv\nSHELL=/bin/bash\n";
    NewAcct::userAddDefaults = defaults;
    NewAcct account = checked({{"givenname", "John"},
                               {"gidnumber", "abc"},
                               {"dointernetconn", "on"},
                               {"dyceenabled", "On"}});
    EXPECT_EQ("jdoe;", attributeValues(account, "uid"));
    EXPECT_EQ("/home/jdoe;", attributeValues(account, "homedirectory"));
    EXPECT_EQ("/bin/bash;", attributeValues(account, "loginshell"));
    EXPECT_EQ("John Doe;", attributeValues(account, "cn"));
    EXPECT_EQ("100;", attributeValues(account, "gidnumber"));
    EXPECT_EQ("TRUE;", attributeValues(account, "dointernetconn"));
    EXPECT_EQ("On;", attributeValues(account, "dyceenabled"));

    std::ofstream(defaults) << "HOME=/srv\nHOME=/export\n";
    account = checked({{"givenname", "John"}, {"c", "HU"}, {"class", "users"}});
    EXPECT_EQ("/export/jdoe;", attributeValues(account, "homedirectory"));
    EXPECT_EQ("/bin/sh;", attributeValues(account, "loginshell"));
    EXPECT_EQ("Doe John;", attributeValues(account, "cn"));
    EXPECT_EQ("100;", attributeValues(account, "plendarGroupID"));  // users is group 100

    const std::string photo = testing::TempDir() + "/photo";
    std::ofstream(photo, std::ios::binary) << std::string(32768, '\0');
    EXPECT_EQ(32768u, checked({{"jpegphoto", photo}})
                          .attributes()
                          .getAttributeByName("jpegphoto")
                          ->getValues()
                          .front()
                          .size());
    // Too large; a FIFO (refused at once, never waited on); a file its
    // owner keeps from other users named by a roster, which could copy a
    // secret into the directory (the caller's own private file is taken).
    const std::string fifo = testing::TempDir() + "/photo-fifo";
    const std::string secret = testing::TempDir() + "/photo-secret";
    std::remove(fifo.c_str());
    mkfifo(fifo.c_str(), 0644);
    std::ofstream(secret) << "root:x:0:";
    chmod(secret.c_str(), 0640);
    std::ofstream(photo, std::ios::binary) << std::string(32769, 'x');
    const std::pair<std::string, std::string> refused[] = {
        {photo, "jpeg-File is bigger than 32k"},
        {fifo, "refusing jpeg-File " + fifo + ": not a regular file of at most 32k"},
        {secret, "refusing jpeg-File " + secret +
                     ": other users cannot read it, and a photo is published in the directory "
                     "(chmod o+r it)"},
    };
    EXPECT_EQ(9u, checked({{"jpegphoto", secret}})
                      .attributes()
                      .getAttributeByName("jpegphoto")
                      ->getValues()
                      .front()
                      .size());
    for (const auto& [file, message] : refused) {
        try {
            checked({}, {{"jpegphoto", file}});
            ADD_FAILURE() << file;
        } catch (const MyException& e) {
            EXPECT_EQ(-42, e.code);
            EXPECT_EQ(message, e.message);
        }
    }
}

class NewAcctDirectory : public ::testing::Test {
  protected:
    ProcessResult create(const std::vector<std::string>& more) {
        return newacct(with(with(kRequired, {"-H", "127.0.0.1", "-P", slapd.portText()}), more));
    }
    static constexpr const char* kCarol =
        "dn: uid=carol,o=site\nobjectClass: inetOrgPerson\nobjectClass: posixAccount\n"
        "uid: carol\ncn: C\nsn: C\nuidNumber: 2004\ngidNumber: 100\n"
        "homeDirectory: /home/carol\n";
    Slapd slapd{kCarol};
};

// The plan runs every check and derivation and writes nothing; applied to a
// copy it gives what the real run writes, but for the password's hash.
TEST_F(NewAcctDirectory, PlanWritesNothingAndMatchesTheRun) {
    const std::string photo = testing::TempDir() + "/plan-photo.jpg";
    std::ofstream(photo, std::ios::binary) << std::string("\xff\xd8\xff\0 binary", 11);
    const std::vector<std::string> account{
        "-mail", "jdoe@example.org",    "-class",  "users",  "-jpegphoto",
        photo,   "-writeglobaladdress", "allowed", "-title", "Dr "};
    EXPECT_EQ(240, create({"-alias", "bob", "-dryrun"}).status);
    const std::string before = slapd.dump();
    const ProcessResult plan = create(with(account, {"-dryrun"}));
    ASSERT_EQ(0, plan.status) << plan.out;
    EXPECT_EQ(before, slapd.dump());
    EXPECT_NE(std::string::npos, plan.out.find("\nuidnumber: 2003\nuserpassword: {crypt}*\n"));
    // LDIF carries a value that ends in a blank only in base64.
    EXPECT_NE(std::string::npos, plan.out.find("\ntitle:: RHIg\n")) << plan.out;
    Slapd copy{kCarol};
    copy.modify(plan.out);
    ASSERT_EQ(0, create(account).status);
    const auto withoutHashes = [](std::string dump) {
        for (size_t at; (at = dump.find("userPassword:: ")) != std::string::npos;)
            dump.erase(at, dump.find('\n', at) - at + 1);
        return dump;
    };
    EXPECT_EQ(withoutHashes(slapd.dump()), withoutHashes(copy.dump()));
}

TEST_F(NewAcctDirectory, WritesTheUserAndItsEntries) {
    const ProcessResult r = create({"-givenname",
                                    "John",
                                    "-mail",
                                    "JDoe@example.org",
                                    "-alias",
                                    "john",
                                    "-title",
                                    "A",
                                    "-title",
                                    "B",
                                    "-class",
                                    "users",
                                    "-class",
                                    "staff",
                                    "-writeglobaladdress",
                                    "allowed",
                                    "-ou",
                                    "Sales",
                                    "-homedirectory",
                                    "/home/jdoe",
                                    "-loginshell",
                                    "/bin/bash",
                                    "-reqpwdchange"});
    ASSERT_EQ(0, r.status) << r.out << r.err;
    const std::string user =
        slapd.search("uid=jdoe,o=site", "(objectClass=*)", "base", "* openldapaci");
    const std::string expectedStart =
        "dn: uid=jdoe,o=site\ngivenName: John\ntitle: A\ntitle: B\nou: Sales\nsn: Doe\n";
    EXPECT_NE(std::string::npos, user.find("uidNumber: 2003\n")) << user;  // 2001, 2002, 2004 used
    EXPECT_NE(std::string::npos, user.find("shadowLastChange: 0\n"));
    EXPECT_NE(std::string::npos,
              user.find("OpenLDAPaci: 1#entry#grant;r,w,s,c;mail,telephoneNumber,street;r,s,c;"
                        "[all]#self#\n"));
    EXPECT_NE(std::string::npos, user.find("plendarGroupID: 100\nplendarGroupID: 50\n"));
    EXPECT_NE(std::string::npos,
              user.find("objectClass: top\nobjectClass: shadowAccount\nobjectClass: posixAccount\n"
                        "objectClass: person\nobjectClass: inetOrgPerson\nobjectClass: "
                        "TolvoeMailObject\nobjectClass: TolvoplendarConfig\nobjectClass: "
                        "phpgwAccount\nobjectClass: TolvoSchoolAccount\n"));
    EXPECT_TRUE(slapd.exists("ou=addr,uid=jdoe,o=site"));
    EXPECT_TRUE(slapd.exists("uid=jdoe:system,o=AddressBook,o=site"));
    EXPECT_NE(std::string::npos, slapd.search("cn=staff,o=site").find("memberUid: jdoe"));
    EXPECT_NE(
        std::string::npos,
        slapd.search("cn=AddressAdmins,o=AddressBook,o=site").find("member: uid=jdoe,o=site"));

    // The password works, and one that differs after the eighth character does not.
    EXPECT_TRUE(slapd.binds("uid=jdoe,o=site", "pw"));
}

TEST_F(NewAcctDirectory, EveryParameterInItsPlace) {
    const ProcessResult r = create({"-uid",
                                    "Full",
                                    "-up",
                                    "{SSHA}fixed",
                                    "-givenname",
                                    "Fay",
                                    "-mail",
                                    "full@example.org",
                                    "-alias",
                                    "f1",
                                    "-alias",
                                    "f2",
                                    "-l",
                                    "Berlin",
                                    "-timezone",
                                    "CET",
                                    "-preferredlanguage",
                                    "DE",
                                    "-ou",
                                    "Unit",
                                    "-title",
                                    "T",
                                    "-initials",
                                    "FF",
                                    "-homephone",
                                    "1",
                                    "-mobile",
                                    "2",
                                    "-facsimiletelephonenumber",
                                    "3",
                                    "-pager",
                                    "4",
                                    "-telephonenumber",
                                    "5",
                                    "-labeleduri",
                                    "http://x",
                                    "-street",
                                    "S",
                                    "-postalcode",
                                    "10115",
                                    "-st",
                                    "BE",
                                    "-shadowmax",
                                    "30",
                                    "-reqpwdchange",
                                    "-logindestination",
                                    "groupware",
                                    "-birthday",
                                    "2000-01-01",
                                    "-faxdid",
                                    "6",
                                    "-smsdid",
                                    "7",
                                    "-printid",
                                    "8",
                                    "-dointernetconn",
                                    "on",
                                    "-dyceenabled",
                                    "off",
                                    "-colocrouteaddr",
                                    "r@x",
                                    "-religion",
                                    "none",
                                    "-mailenabled",
                                    "local_only",
                                    "-gidnumber",
                                    "102",
                                    "-uidnumber",
                                    "1500",
                                    "-homedirectory",
                                    "/h/full",
                                    "-loginshell",
                                    "/bin/zsh",
                                    "-class",
                                    "users"});
    ASSERT_EQ(0, r.status) << r.out;
    EXPECT_EQ(
        "dn: uid=full,o=site\n"
        "sn: Doe\ngivenName: Fay\nl: Berlin\ntolvotimezone: CET\npreferredLanguage: DE\nou: Unit\n"
        "title: T\ninitials: FF\nlabeledURI: http://x\nstreet: S\npostalCode: 10115\nst: BE\n"
        "logindestination: groupware\nbirthday: 2000-01-01\nfaxdid: 6\n"
        "smsdid: 7\nprintid: 8\ndointernetconn: TRUE\ndyceenabled: FALSE\n"
        "colocrouteaddr: r@x\nreligion: none\nuid: full\nmail: full@example.org\n"
        "o: Acme\nc: DE\ntelephoneNumber: 5\npager: 4\nhomePhone: 1\nmobile: 2\n"
        "facsimileTelephoneNumber: 3\ngidNumber: 102\nplendarGroupID: 102\nplendarGroupID: 100\n"
        "mailenabled: local_only\nhomeDirectory: /h/full\nloginShell: /bin/zsh\ncn: Fay Doe\n"
        "uidNumber: 1500\nuserPassword:: e1NTSEF9Zml4ZWQ=\nshadowLastChange: 0\nshadowMax: 30\n"
        "shadowMin: 0\n"
        "shadowWarning: 7\nshadowInactive: 0\nplendarAppointmentDays: 5\nplendarTaskDays: 5\n"
        "phpgwAccountType: u\nphpgwAccountStatus: A\nphpgwAccountExpires: -1\nalias: f1\n"
        "alias: f2\ninternetDisabled: false\nobjectClass: top\nobjectClass: shadowAccount\n"
        "objectClass: posixAccount\nobjectClass: person\nobjectClass: inetOrgPerson\n"
        "objectClass: TolvoeMailObject\nobjectClass: TolvoplendarConfig\n"
        "objectClass: TolvoVantorOskaObject\nobjectClass: phpgwAccount\n"
        "objectClass: TolvoSchoolAccount\n\n",
        slapd.search("uid=full,o=site", "(objectClass=*)", "base"));
    EXPECT_NE(std::string::npos,
              slapd.search("uid=full:system,o=AddressBook,o=site").find("phpgwContactCatId: 1\n"));
}

TEST_F(NewAcctDirectory, GroupwareAndSchoolVariants) {
    ASSERT_EQ(0, create({"-uid", "ws", "-gidnumber", "103", "-groupware", "phpgw"}).status);
    std::string entry = slapd.search("uid=ws,o=site", "(objectClass=*)", "base");
    EXPECT_NE(std::string::npos, entry.find("internetDisabled: true\n"));
    EXPECT_NE(std::string::npos, entry.find("objectClass: TolvoSchoolWorkstation\n"));
    EXPECT_EQ(std::string::npos, entry.find("plendar"));
    EXPECT_NE(std::string::npos, entry.find("objectClass: phpgwAccount\n"));

    ASSERT_EQ(
        0,
        create({"-uid", "none", "-groupware", "other", "-writeglobaladdress", "Allowed"}).status);
    entry = slapd.search("uid=none,o=site", "(objectClass=*)", "base");
    EXPECT_EQ(std::string::npos, entry.find("plendar"));
    EXPECT_EQ(std::string::npos, entry.find("phpgw"));
    EXPECT_FALSE(slapd.exists("uid=none:system,o=AddressBook,o=site"));
    EXPECT_EQ(std::string::npos,
              slapd.search("cn=AddressAdmins,o=AddressBook,o=site").find("uid=none"));

    // Abbreviated options.
    const ProcessResult abbreviated = create({"-uidn", "3000", "-ali", "jd"});
    EXPECT_EQ(0, abbreviated.status) << abbreviated.out;
    EXPECT_NE(std::string::npos, slapd.search("uid=jdoe,o=site").find("uidNumber: 3000\n"));

    // The account with the same uid is not a taken address; the add itself
    // is then refused.
    const ProcessResult again = create({"-uid", "none", "-alias", "none"});
    EXPECT_EQ(242, again.status);
    EXPECT_EQ("failed to add entry: Already exists\n", again.out);
}

TEST_F(NewAcctDirectory, PasswordsAreHashedWhole) {
    ASSERT_EQ(0, create({"-up", "secret12345", "-groupware", "plendar"}).status);
    EXPECT_TRUE(slapd.binds("uid=jdoe,o=site", "secret12345"));
    EXPECT_FALSE(slapd.binds("uid=jdoe,o=site", "secret12"));
    EXPECT_FALSE(slapd.exists("uid=jdoe:system,o=AddressBook,o=site"));  // plendar: no contact
}

TEST_F(NewAcctDirectory, TakenAddressesAreRefused) {
    ProcessResult r = create({"-alias", "ally"});
    EXPECT_EQ(240, r.status);
    EXPECT_EQ("Alias ally already exists. Aborted\n", r.out);
    r = create({"-alias", "bob"});  // another account's login name
    EXPECT_EQ("Alias bob already exists. Aborted\n", r.out);
    r = create({"-mail", "bob@example.org"});
    EXPECT_EQ("Address bob@example.org already exists. Aborted\n", r.out);
    // Hostile aliases neither match other accounts nor break the filter.
    r = create({"-alias", "*", "-alias", "a)(uid=*"});
    EXPECT_EQ(0, r.status) << r.out;
}

TEST_F(NewAcctDirectory, FailuresBeforeAndAfterTheUserEntry) {
    ProcessResult r =
        newacct(with(kRequired, {"-H", "127.0.0.1", "-P", slapd.portText(), "-ap", "wrong"}));
    EXPECT_EQ(244, r.status);
    EXPECT_EQ("bind failed\n", r.out);

    r = create({"-class", "mail"});  // a system group without a directory group
    EXPECT_EQ(242, r.status);
    EXPECT_EQ("failed give user jdoe to the class:mail No such object\n", r.out);
    EXPECT_TRUE(slapd.exists("uid=jdoe,o=site"));

    slapd.modify("dn: uid=cyrus,o=site\nchangetype: delete\n");
    r = newacct(with(kRequired, {"-H", "127.0.0.1", "-P", slapd.portText(), "-uid", "other"}));
    EXPECT_EQ(244, r.status);
    EXPECT_EQ("search failed\n", r.out);
    EXPECT_FALSE(slapd.exists("uid=other,o=site"));
}

TEST_F(NewAcctDirectory, StandardInputWithUtf8AndContinuationLines) {
    const std::string input =
        "bDN=o=site\nal=admin\nap=secret\nH=127.0.0.1\nP=" + slapd.portText() +
        "\nuid=mm\nsn=M\xc3\xbcller\nup=x\no=A\nc=DE\nignored=\n=x\n"
        "street=Main 1\n Floor 2\ngroupware=phpgw\nreqpwdchange\n";
    const ProcessResult r = runProcess(NEWACCT_BIN, {}, input, true);
    ASSERT_EQ(0, r.status) << r.out << r.err;
    const std::string user = slapd.search("uid=mm,o=site", "(objectClass=*)", "base");
    EXPECT_NE(std::string::npos, user.find("sn:: TcO8bGxlcg==\n")) << user;
    EXPECT_NE(std::string::npos, user.find("street:: TWFpbiAxCkZsb29yIDI=\n"));
    EXPECT_NE(std::string::npos, user.find("shadowLastChange: 0\n"));
    // No given name and no mail: the contact leaves them out.
    const std::string contact = slapd.search("uid=mm:system,o=AddressBook,o=site");
    EXPECT_EQ(std::string::npos, contact.find("givenName"));
    EXPECT_NE(std::string::npos, contact.find("cn:: TcO8bGxlcg==\n"));
}

}  // namespace
