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

}  // namespace
