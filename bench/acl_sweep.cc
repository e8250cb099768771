// Batch mode's IMAP work for one account through the pipelined sweep: the
// same work as bench/imap_floor.cc (LOGIN, LIST, the ACL of every mailbox,
// DELETEACL where the user has an entry, NAMESPACE, SETACL x and DELETE of
// the user's mailbox, LOGOUT), with the GETACL and DELETEACL commands
// pipelined, WINDOW of them in flight.
//
//   acl_sweep HOST PORT ADMIN PASSWORD UID WINDOW
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "imap/AclSweep.h"
#include "imap/IMAPSimple.h"

namespace {

// Milliseconds since the last call: where the time goes.
double lap() {
    static auto last = std::chrono::steady_clock::now();
    const auto now = std::chrono::steady_clock::now();
    const double ms = std::chrono::duration<double, std::milli>(now - last).count();
    last = now;
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    lap();
    if (argc != 7) {
        std::fprintf(stderr, "usage: acl_sweep HOST PORT ADMIN PASSWORD UID WINDOW\n");
        return 2;
    }
    const std::string admin = argv[3];
    const std::string uid = argv[5];
    try {
        IMAPSimple client(argv[1], static_cast<unsigned>(std::atoi(argv[2])));
        client.login(admin, argv[4]);
        std::vector<std::string> names;
        for (const IMAPFolder& folder : client.list("\"\"", "*")) {
            names.push_back(folder.name);
        }
        const double listed = lap();
        AclSweep sweep(client, static_cast<size_t>(std::atoi(argv[6])));
        const std::vector<MailboxAcl> acls = sweep.sweep(names);
        const double swept = lap();
        std::vector<AclRemoval> removals;
        for (size_t i = 0; i < names.size(); ++i) {
            for (const IMAPAcl& acl : acls[i].acls) {
                if (acl.identifier == uid) {
                    removals.push_back({names[i], uid});
                }
            }
        }
        for (const std::string& failure : sweep.deleteAcls(removals)) {
            if (!failure.empty()) {
                std::fprintf(stderr, "%s\n", failure.c_str());
            }
        }
        const double removed = lap();
        client.Namespace();
        client.setACL("user." + uid, admin, "x");
        client.del("user." + uid);
        client.logout();
        std::printf(
            "%zu mailboxes, %zu entries removed; ms: login+list %.1f, getacl %.1f, deleteacl "
            "%.1f, delete+logout %.1f\n",
            names.size(), removals.size(), listed, swept, removed, lap());
    } catch (const IMAPException& e) {
        std::fprintf(stderr, "%s\n", e.message.c_str());
        return 1;
    }
    return 0;
}
