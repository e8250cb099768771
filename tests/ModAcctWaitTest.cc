// No directory request of modacct waits forever: a directory that accepts
// and never answers ends a single run and a batch with the bind's status,
// and one that goes silent at a group's modify ends the rows not done with
// the directory named, their writes put back over a new connection.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "modacct/ChangeBatch.h"
#include "modacct/ChangeSettings.h"
#include "modacct/SingleRun.h"
#include "tests/support/AccountRuns.h"
#include "tests/support/DirectoryState.h"
#include "tests/support/DroppingProxy.h"
#include "tests/support/SilentDirectory.h"
#include "tests/support/SilentServer.h"

namespace {

ChangeSettings settingsOf(const Params& params) {
    ChangeSettings settings;
    for (const auto& [name, value] : params)
        settings.addParam(name, value);
    settings.setReplyWaits(kShortWaits);
    return settings;
}

// A batch in this process moving `uids` to staff: uid -> the rest of its
// result line.
std::map<std::string, std::string> moveToStaff(Params params,
                                               const std::vector<std::string>& uids) {
    // Named after the directory: tests run side by side.
    const std::string file = testing::TempDir() + "/modacct-wait-" + params.back().second + ".csv";
    std::ofstream csv(file, std::ios::trunc);
    csv << "uid;class\n";
    for (const std::string& uid : uids)
        csv << uid << ";staff\n";
    csv.close();
    params.push_back({"batch", file});
    const ChangeSettings settings = settingsOf(params);
    std::ostringstream out;
    ChangeBatch(settings).run(out);
    std::remove(file.c_str());
    return resultLines(out.str());
}

TEST(ModAcctWait, SilentDirectory) {
    SilentServer server;
    const Params params = directoryParams(server.portText());
    std::ostringstream out;
    Params single = params;
    single.push_back({"uid", "jdoe"});
    EXPECT_EQ(244, changeOne(settingsOf(single), out));
    EXPECT_EQ(0u, out.str().find("bind failed: ")) << out.str();
    EXPECT_TRUE(namesSilentDirectory(out.str(), server.portText())) << out.str();
    for (const auto& [uid, line] : moveToStaff(params, {"b1", "b2"})) {
        EXPECT_EQ(0u, line.find("244\tbind failed: ")) << uid << ": " << line;
        EXPECT_TRUE(namesSilentDirectory(line, server.portText())) << line;
    }
}

// Requests: the bind, the accounts, their groups, the group to join, the
// two user entries, then the first group's modify.
TEST(ModAcctWait, SilentAtAGroupsModify) {
    Slapd slapd;
    for (const char* uid : {"b1", "b2"}) {
        ASSERT_EQ(
            0, runNewacct(joined(adminArgs(slapd), {"-uid", uid, "-sn", "B", "-up", "pw", "-o", "O",
                                                    "-c", "DE", "-class", "users"}))
                   .status);
    }
    const Entries before = parseDump(slapd.dump());
    DroppingProxy proxy(slapd.port(), 7, DroppingProxy::Silence, nullptr, DroppingProxy::Ldap,
                        DroppingProxy::Relayed);
    for (const auto& [uid, line] : moveToStaff(directoryParams(proxy.portText()), {"b1", "b2"})) {
        EXPECT_EQ(0u, line.find("244\tnot done: Timed out: ")) << uid << ": " << line;
        EXPECT_TRUE(namesSilentDirectory(line, proxy.portText())) << line;
        EXPECT_NE(std::string::npos, line.find("; its changes were put back")) << line;
    }
    EXPECT_EQ("", difference(before, parseDump(slapd.dump())));
}

// Another account takes the new alias while the run writes it (request 5):
// the run looks again (6), puts its write back (7), reads the account (8,
// 9) and who holds the alias (10), and looks once more after a pause (11),
// which the directory leaves unanswered: the run is not done (244); the
// alias is not taken to be held (240).
TEST(ModAcctWait, SilentWhileSettlingAnAddressTakenMeanwhile) {
    Slapd slapd;
    ASSERT_EQ(0, runNewacct(joined(adminArgs(slapd), {"-uid", "b1", "-sn", "B", "-up", "pw", "-o",
                                                      "O", "-c", "DE", "-class", "users"}))
                     .status);
    const Entries before = parseDump(slapd.dump());
    DroppingProxy proxy(
        slapd.port(), 11, DroppingProxy::Silence,
        [&slapd](int request) {
            if (request == 5)
                slapd.modify("dn: uid=bob,o=site\nchangetype: modify\nadd: alias\nalias: x1\n");
        },
        DroppingProxy::Ldap, DroppingProxy::Relayed);
    Params single = directoryParams(proxy.portText());
    single.push_back({"uid", "b1"});
    single.push_back({"addalias", "x1"});
    std::ostringstream out;
    EXPECT_EQ(244, changeOne(settingsOf(single), out));
    EXPECT_EQ(0u, out.str().find("not done: Timed out: ")) << out.str();
    EXPECT_TRUE(namesSilentDirectory(out.str(), proxy.portText())) << out.str();
    slapd.modify("dn: uid=bob,o=site\nchangetype: modify\ndelete: alias\nalias: x1\n");
    EXPECT_EQ("", difference(before, parseDump(slapd.dump())));
}

}  // namespace
