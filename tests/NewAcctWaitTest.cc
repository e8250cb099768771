// No directory request of newacct waits forever: a directory that accepts
// and never answers, or goes silent at a request, ends a single run and a
// batch with the connection status (a failed write's once the user entry
// was sent) and a message naming the directory. A single run whose user
// entry's answer was lost looks again over a new connection; a batch takes
// back only an entry of its own.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "common/MyException.h"
#include "newacct/BatchRun.h"
#include "newacct/NewAcct.h"
#include "newacct/RunSettings.h"
#include "tests/support/DroppingProxy.h"
#include "tests/support/SilentDirectory.h"
#include "tests/support/SilentServer.h"
#include "tests/support/Slapd.h"

namespace {

Params jdoe(Params params) {
    const Params more{{"uid", "jdoe"},
                      {"sn", "Doe"},
                      {"up", "pw"},
                      {"o", "A"},
                      {"c", "DE"},
                      {"class", "users"},
                      {"mail", "jdoe@example.org"},
                      {"writeglobaladdress", "allowed"}};
    params.insert(params.end(), more.begin(), more.end());
    return params;
}

// A single run in this process: the failure it ended with, or code 0.
MyException create(const Params& params) {
    NewAcct run;
    run.setReplyWaits(kShortWaits);
    for (const auto& [name, value] : params)
        run.addParam(name, value);
    try {
        run.checkParams();
        run.ldapBind();
        run.createInDirectory();
    } catch (const MyException& e) {
        run.unbind();
        return e;
    }
    run.unbind();
    return MyException(0, "");
}

// A batch in this process over the rows `uids`: uid -> the rest of its
// result line.
std::map<std::string, std::string> createBatch(const Params& params,
                                               const std::vector<std::string>& uids) {
    const std::string file = testing::TempDir() + "/wait.csv";
    std::ofstream csv(file, std::ios::trunc);
    csv << "uid;sn\r\n";
    for (const std::string& uid : uids)
        csv << uid << ";Doe\r\n";
    csv.close();
    RunSettings settings;
    for (const auto& [name, value] : params)
        settings.addParam(name, value);
    for (const auto& [name, value] : Params{{"up", "pw"}, {"o", "A"}, {"c", "DE"}, {"batch", file}})
        settings.addParam(name, value);
    settings.account().setReplyWaits(kShortWaits);
    BatchRun batch(settings);
    std::ostringstream out;
    batch.run(out);
    std::map<std::string, std::string> lines;
    std::istringstream in(out.str());
    for (std::string line; std::getline(in, line);)
        lines[line.substr(0, line.find('\t'))] = line.substr(line.find('\t') + 1);
    return lines;
}

std::unique_ptr<Slapd> directoryFor(const std::string& tls) {
    return tls.empty() ? std::make_unique<Slapd>() : std::make_unique<Slapd>(ServerTls{});
}

// Accepts and never answers: plain, after granting StartTLS (silent in
// the handshake), and ldaps (silent from the first byte).
TEST(NewAcctWait, SilentDirectory) {
    const std::pair<const char*, std::string> servers[] = {
        {"", ""}, {"tls", kStartTlsGranted}, {"ldaps", ""}};
    for (const auto& [tls, opening] : servers) {
        SilentServer server(opening);
        const Params params = directoryParams(server.portText(), tls);
        const MyException single = create(jdoe(params));
        EXPECT_EQ(244, single.code & 0xff) << tls;
        EXPECT_EQ(0u, single.message.find("bind failed: ")) << single.message;
        EXPECT_TRUE(namesSilentDirectory(single.message, server.portText())) << single.message;
        for (const auto& [uid, line] : createBatch(params, {"b1", "b2"})) {
            EXPECT_EQ(0u, line.find("244\tbind failed: ")) << uid << ": " << line;
            EXPECT_TRUE(namesSilentDirectory(line, server.portText())) << line;
        }
    }
}

// Silent from one request on (the request reaches the server, its answer
// never comes back): before the user entry the status of a failed bind or
// search, from it on that of a failed write; a batch row's take-back cannot
// reach the directory, and the rows not done say why.
TEST(NewAcctWait, SilentAtEachKindOfRequest) {
    const struct {
        const char* tls;
        int request;
        const char* single;  // the start of the message, else a batch
        int status;
    } cases[] = {
        {"", 1, "bind failed: ", 244},
        {"tls", 1, "bind failed: ", 244},  // StartTLS
        {"", 2, "search failed: ", 244},   // the address is free: not a taken one
        {"", 5, "failed to add entry: ", 242},
        {"", 8, "failed give user write access to the global address book: ", 242},  // modify
        {"", 6, nullptr, 242},  // a batch's add whose answer is read later
    };
    for (const auto& c : cases) {
        const std::unique_ptr<Slapd> slapd = directoryFor(c.tls);
        DroppingProxy proxy(slapd->port(), c.request, DroppingProxy::Silence);
        const Params params = directoryParams(proxy.portText(), c.tls);
        const std::string where = std::to_string(c.request) + c.tls;
        if (c.single) {
            const MyException end = create(jdoe(params));
            EXPECT_EQ(c.status, end.code & 0xff) << where;
            EXPECT_EQ(0u, end.message.find(c.single)) << end.message;
            EXPECT_TRUE(namesSilentDirectory(end.message, proxy.portText())) << end.message;
            continue;
        }
        const auto lines = createBatch(params, {"b1", "b2"});
        EXPECT_EQ(0u, lines.at("b1").find("242\tfailed to add entry: Timed out")) << lines.at("b1");
        EXPECT_NE(std::string::npos, lines.at("b1").find("taking back failed")) << lines.at("b1");
        EXPECT_EQ(0u, lines.at("b2").find("244\tnot done: Timed out: ")) << lines.at("b2");
        EXPECT_TRUE(namesSilentDirectory(lines.at("b2"), proxy.portText())) << lines.at("b2");
    }
}

// The user entry's add reaches the directory, its answer does not (the
// connection is cut, or the directory is silent), and the directory takes
// connections again: the single run reads the entry back. Its own entry
// that conflicts with nothing is kept and the run completes; one that
// conflicts is withdrawn as after a lost race; an entry that is not there is
// added again; another run's entry is left.
TEST(NewAcctWait, LostUserEntryIsLookedAtAgain) {
    const std::string holder =
        "dn: uid=jroe,o=site\nchangetype: add\nobjectClass: inetOrgPerson\n"
        "objectClass: posixAccount\nobjectClass: TolvoeMailObject\nuid: jroe\ncn: J\nsn: R\n"
        "uidNumber: 2900\ngidNumber: 100\nhomeDirectory: /home/jroe\nalias: jdoe\n";
    const std::string other =
        "dn: uid=jdoe,o=site\nchangetype: add\nobjectClass: inetOrgPerson\n"
        "objectClass: posixAccount\nuid: jdoe\ncn: J\nsn: D\nuidNumber: 2950\n"
        "gidNumber: 100\nhomeDirectory: /home/jdoe\nuserPassword: not-this-run\n";
    const struct {
        DroppingProxy::Cut cut;
        const std::string* putInPlace;  // at the add, before it reaches the server
        int status;
        bool whole;  // the account with all its entries, else nothing of this run's
    } cases[] = {
        {DroppingProxy::BeforeReply, nullptr, 0, true},
        {DroppingProxy::Silence, nullptr, 0, true},
        {DroppingProxy::BeforeRequest, nullptr, 0, true},
        {DroppingProxy::BeforeReply, &holder, 240, false},
        {DroppingProxy::BeforeRequest, &other, 242, false},
    };
    for (const auto& c : cases) {
        Slapd slapd;
        const auto atAdd = [&](int request) {
            if (request == 5 && c.putInPlace)
                slapd.modify(*c.putInPlace);
        };
        DroppingProxy proxy(slapd.port(), 5, c.cut, atAdd, DroppingProxy::Ldap,
                            DroppingProxy::Relayed);
        const MyException end = create(jdoe(directoryParams(proxy.portText())));
        const std::string where = std::to_string(c.cut) + ": " + end.message;
        EXPECT_EQ(c.status, end.code & 0xff) << where;
        EXPECT_EQ(c.whole, slapd.exists("ou=addr,uid=jdoe,o=site")) << where;
        EXPECT_EQ(c.whole, slapd.exists("uid=jdoe:system,o=AddressBook,o=site")) << where;
        EXPECT_EQ(c.whole, !slapd.holders("(&(cn=users)(memberUid=jdoe))").empty()) << where;
        if (c.putInPlace == &other) {
            EXPECT_NE(std::string::npos, end.message.find("holds an entry this run did not write"))
                << where;
            EXPECT_NE(std::string::npos, slapd.search("uid=jdoe,o=site").find("uidNumber: 2950"));
        } else {
            EXPECT_EQ(c.whole, slapd.exists("uid=jdoe,o=site")) << where;
        }
    }
}

// A batch row's add is lost before it reaches the directory, and another
// run puts its own entry for the login in place: the take-back reads it back
// and leaves it, and the row says so.
TEST(NewAcctWait, TakeBackLeavesAnotherRunsEntry) {
    Slapd slapd;
    const auto atAdd = [&](int request) {
        if (request == 4)
            slapd.modify(
                "dn: uid=b1,o=site\nchangetype: add\nobjectClass: inetOrgPerson\n"
                "objectClass: posixAccount\nuid: b1\ncn: B\nsn: One\nuidNumber: 2950\n"
                "gidNumber: 100\nhomeDirectory: /home/b1\nuserPassword: not-this-run\n");
    };
    DroppingProxy proxy(slapd.port(), 4, DroppingProxy::BeforeRequest, atAdd, DroppingProxy::Ldap,
                        DroppingProxy::Relayed);
    const auto lines = createBatch(directoryParams(proxy.portText()), {"b1", "b2"});
    EXPECT_NE(
        std::string::npos,
        lines.at("b1").find("uid=b1,o=site holds an entry this run did not write; it is left"))
        << lines.at("b1");
    EXPECT_NE(std::string::npos, slapd.search("uid=b1,o=site").find("uidNumber: 2950"));
}

}  // namespace
