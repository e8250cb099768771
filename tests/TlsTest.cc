// Both programs over TLS against slapd and Cyrus with certificates of a test
// authority: StartTLS and implicit TLS end to end, each bad certificate on
// each connection (the run ends, and no credential crossed the wire), and
// the clear messages of servers that want TLS from clients that do not ask.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <functional>

#include "tests/support/Cyrus.h"
#include "tests/support/Process.h"
#include "tests/support/RecordingProxy.h"
#include "tests/support/Slapd.h"

namespace {

const std::vector<std::string> kAdmin{"-bDN", "o=site", "-al", "admin", "-ap", "secret"};

std::vector<std::string> join(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<std::string> trusting() {
    return {"-cacert", testCertificate("ca.pem")};
}

ProcessResult newacct(const std::string& port, const std::string& uid,
                      const std::vector<std::string>& more) {
    return runProcess(NEWACCT_BIN,
                      join(join(kAdmin, {"-H", "127.0.0.1", "-P", port, "-uid", uid, "-sn", "S",
                                         "-up", "pw", "-o", "A", "-c", "DE", "-class", "users"}),
                           more));
}

ProcessResult dropacct(const std::vector<std::string>& args) {
    return runProcess(DROPACCT_BIN,
                      join(join(kAdmin, {"-CH", "127.0.0.1", "-LH", "127.0.0.1"}), args));
}

TEST(Tls, AccountsCreatedAndRemovedOverTls) {
    Slapd slapd{ServerTls{}};
    Cyrus cyrus{ServerTls{"server", true}};
    const std::string imap = std::to_string(cyrus.imapPort());
    const std::string sieve = std::to_string(cyrus.sievePort());
    ASSERT_EQ(0, newacct(slapd.portText(), "jdoe", join({"-tls"}, trusting())).status);
    ASSERT_EQ(0, newacct(slapd.ldapsPortText(), "jroe", join({"-ldaps"}, trusting())).status);
    for (const std::string user : {"jdoe", "jroe"}) {
        cyrus.imap({"C1 create user." + user, "C2 create user." + user + ".sub",
                    "C3 setacl user." + user + " admin lrswipkxtecda"});
        cyrus.putScripts(user, {"a", "b"}, "b");
    }
    const std::vector<std::string> stages{"-ldap", "-imap", "-sieve", "-SP", sieve};
    ProcessResult r = dropacct(join(
        join(stages, {"-uid", "jdoe", "-tls", "-LP", slapd.portText(), "-CP", imap}), trusting()));
    EXPECT_EQ(0, r.status) << r.out;
    r = dropacct(join(join(stages, {"-uid", "jroe", "-tls", "-ldaps", "-LP", slapd.ldapsPortText(),
                                    "-imaps", "-CP", std::to_string(cyrus.imapsPort())}),
                      trusting()));
    EXPECT_EQ(0, r.status) << r.out;
    EXPECT_TRUE(slapd.holders("(|(uid=jdoe)(uid=jroe)(memberUid=jdoe)(memberUid=jroe))").empty());
    EXPECT_EQ("", cyrus.mailboxesWithAcls());
}

// Each bad certificate on each connection, seen through a proxy that keeps
// what the client sent: the documented status, the reason in the message,
// and neither the password nor the login in the bytes.
TEST(Tls, BadCertificatesEndTheRunBeforeAnyCredential) {
    const std::pair<const char*, const char*> certificates[] = {
        {"other", "The certificate issuer is unknown."},
        {"expired", "The certificate chain uses expired certificate."},
        {"wrong", "The name in the certificate does not match the expected."},
    };
    for (const auto& certificate : certificates) {
        Slapd slapd{ServerTls{certificate.first}};
        Cyrus cyrus{ServerTls{certificate.first}};
        struct Connection {
            const char* name;
            int upstream;
            int status;
            std::function<ProcessResult(const std::string&)> run;
        } connections[] = {
            {"LDAP StartTLS (newacct)", slapd.port(), 244,
             [](const std::string& port) {
                 return newacct(port, "jdoe", join({"-tls"}, trusting()));
             }},
            {"ldaps", std::stoi(slapd.ldapsPortText()), 249,
             [](const std::string& port) {
                 return dropacct(
                     join({"-ldap", "-uid", "jdoe", "-ldaps", "-LP", port}, trusting()));
             }},
            {"IMAP STARTTLS", cyrus.imapPort(), 214,
             [](const std::string& port) {
                 return dropacct(join({"-imap", "-uid", "jdoe", "-tls", "-CP", port}, trusting()));
             }},
            {"imaps", cyrus.imapsPort(), 214,
             [](const std::string& port) {
                 return dropacct(
                     join({"-imap", "-uid", "jdoe", "-imaps", "-CP", port}, trusting()));
             }},
            {"Sieve STARTTLS", cyrus.sievePort(), 206,
             [](const std::string& port) {
                 return dropacct(join({"-sieve", "-uid", "jdoe", "-tls", "-SP", port}, trusting()));
             }},
        };
        for (const Connection& c : connections) {
            const std::string where = std::string(c.name) + " with " + certificate.first;
            RecordingProxy proxy(c.upstream);
            const ProcessResult r = c.run(proxy.portText());
            EXPECT_EQ(c.status, r.status) << where << ": " << r.out;
            EXPECT_NE(std::string::npos,
                      r.out.find("the certificate of 127.0.0.1 was not accepted: The certificate "
                                 "is NOT trusted. " +
                                 std::string(certificate.second)))
                << where << ": " << r.out;
            const std::string sent = proxy.clientBytes();
            EXPECT_EQ(std::string::npos, sent.find("secret")) << where;
            EXPECT_EQ(std::string::npos, sent.find("admin")) << where;
        }
    }
}

// Each TLS option, given on the command line or in the site defaults file,
// protects every stage's connection: through a proxy on each, the runs get
// past their connection's set-up and no credential byte is seen in clear
// (the login, the password, nor their SASL PLAIN form).
TEST(Tls, AnyTlsOptionProtectsEveryConnection) {
    Slapd slapd{ServerTls{}};
    Cyrus cyrus{ServerTls{}};
    const std::string folder = makeTempFolder("tls-config");
    const std::vector<std::vector<std::string>> choices = {
        {"tls"}, {"ldaps"}, {"imaps"}, {"ldaps", "imaps"}};
    int run = 0;
    for (const bool fromFile : {false, true}) {
        for (const std::vector<std::string>& choice : choices) {
            std::vector<std::string> options = trusting();
            const std::string config = folder + "/" + std::to_string(++run) + ".conf";
            std::ofstream(config) << (choice.size() > 1 ? choice[0] + "\n" + choice[1] : choice[0])
                                  << "\n";
            for (const std::string& name : choice) {
                options.push_back("-" + name);
            }
            if (fromFile) {
                options = join(trusting(), {"-config", config});
            }
            const bool ldaps = choice[0] == "ldaps";
            const bool imaps = choice.back() == "imaps";
            const struct {
                const char* stage;
                int upstream;
                const char* portOption;
                int connectionFailure;
            } stages[] = {
                {"-ldap", ldaps ? std::stoi(slapd.ldapsPortText()) : slapd.port(), "-LP", 249},
                {"-imap", imaps ? cyrus.imapsPort() : cyrus.imapPort(), "-CP", 214},
                {"-sieve", cyrus.sievePort(), "-SP", 206},
                {"newacct", ldaps ? std::stoi(slapd.ldapsPortText()) : slapd.port(), "", 244},
            };
            for (const auto& stage : stages) {
                const std::string where = std::string(stage.stage) + " with " + choice[0] +
                                          (choice.size() > 1 ? " " + choice[1] : "") +
                                          (fromFile ? " (file)" : "");
                RecordingProxy proxy(stage.upstream);
                const ProcessResult r =
                    stage.portOption[0]
                        ? dropacct(join(
                              {stage.stage, "-uid", "jdoe", stage.portOption, proxy.portText()},
                              options))
                        : newacct(proxy.portText(), "u" + std::to_string(run), options);
                EXPECT_NE(stage.connectionFailure, r.status) << where << ": " << r.out;
                const std::string sent = proxy.clientBytes();
                EXPECT_FALSE(sent.empty()) << where;
                for (const char* credential : {"secret", "admin", "amRvZQBhZG1pbgBzZWNyZXQ"}) {
                    EXPECT_EQ(std::string::npos, sent.find(credential)) << where;
                }
            }
        }
    }
}

// Without -cacert the directory connection trusts the authorities ldap.conf
// names (here a folder, TLS_CACERTDIR); with it, that file alone.
TEST(Tls, CacertNarrowsDirectoryTrust) {
    Slapd slapd{ServerTls{}};
    const std::string folder = makeTempFolder("ldap-conf");
    ASSERT_EQ(0, mkdir((folder + "/authorities").c_str(), 0700));
    std::ofstream(folder + "/authorities/ca.pem")
        << std::ifstream(testCertificate("ca.pem")).rdbuf();
    std::ofstream(folder + "/ldap.conf") << "TLS_CACERTDIR " << folder << "/authorities\n";
    const std::vector<std::string> environment{"LDAPNOINIT", "LDAPCONF=" + folder + "/ldap.conf",
                                               "HOME=" + folder};
    const auto create = [&](const std::string& uid, const std::vector<std::string>& more) {
        return runProcess(
            NEWACCT_BIN,
            join(join(kAdmin, {"-H", "127.0.0.1", "-P", slapd.portText(), "-uid", uid, "-sn", "S",
                               "-up", "pw", "-o", "A", "-c", "DE", "-tls"}),
                 more),
            "", false, environment);
    };
    const ProcessResult trusted = create("jdoe", {});
    EXPECT_EQ(0, trusted.status) << trusted.out;
    const ProcessResult narrowed = create("jroe", {"-cacert", testCertificate("other-ca.pem")});
    EXPECT_EQ(244, narrowed.status) << narrowed.out;
}

// Servers that refuse logins without TLS, and runs that do not ask for it:
// each says so and names the option; with it, the same runs succeed.
TEST(Tls, ServersThatRequireTls) {
    Slapd slapd{ServerTls{"server", true}};
    Cyrus cyrus{ServerTls{"server", true}};
    cyrus.imap({"C1 create user.jdoe"});
    const std::string ldap = slapd.portText();
    const std::string imap = std::to_string(cyrus.imapPort());
    const std::string sieve = std::to_string(cyrus.sievePort());
    const struct {
        ProcessResult result;
        int status;
        const char* message;
    } cases[] = {
        {newacct(ldap, "jdoe", {}), 244,
         "bind failed: Confidentiality required: the server requires TLS: use -tls or -ldaps"},
        {dropacct({"-ldap", "-uid", "jdoe", "-LP", ldap}), 249,
         "ldap bind failed\nConfidentiality required: the server requires TLS: use -tls or "
         "-ldaps"},
        {dropacct({"-imap", "-uid", "jdoe", "-CP", imap}), 214,
         "IMAP login failed:login failed: Serverresponse: the server accepts no login without "
         "TLS (LOGINDISABLED); use -tls or -imaps"},
        {dropacct({"-sieve", "-uid", "jdoe", "-SP", sieve}), 205,
         "Could not delete filterscript of user: jdoe\nError message: Authentication failed: "
         "Serverresponse: the server offers no login mechanism without TLS (it offers "
         "STARTTLS); use -tls"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.status, c.result.status) << c.message;
        EXPECT_EQ(std::string(c.message) + "\n", c.result.out);
    }
    EXPECT_EQ(0, newacct(ldap, "jdoe", join({"-tls"}, trusting())).status);
    const ProcessResult removed = dropacct(join({"-ldap", "-imap", "-sieve", "-uid", "jdoe", "-tls",
                                                 "-LP", ldap, "-CP", imap, "-SP", sieve},
                                                trusting()));
    EXPECT_EQ(0, removed.status) << removed.out;
    EXPECT_EQ(240,
              dropacct(join({"-ldap", "-uid", "jdoe", "-tls", "-LP", ldap}, trusting())).status);
}

}  // namespace
