// The floor for dropacct's IMAP stage: the least a client must do for the
// same work on one connection, one command at a time and with no parsing
// beyond finding its tags. LOGIN, LIST, one GETACL per mailbox, DELETEACL
// where the user has an entry, NAMESPACE, SETACL x and DELETE of the
// user's mailbox, LOGOUT.
//
//   imap_floor HOST PORT ADMIN PASSWORD UID
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

int connection = -1;
std::string buffered;

std::string readLine() {
    for (;;) {
        const size_t end = buffered.find('\n');
        if (end != std::string::npos) {
            std::string line = buffered.substr(0, end);
            buffered.erase(0, end + 1);
            return line;
        }
        char chunk[65536];
        const ssize_t n = read(connection, chunk, sizeof chunk);
        if (n <= 0) {
            std::fprintf(stderr, "connection closed\n");
            std::exit(1);
        }
        buffered.append(chunk, n);
    }
}

// Sends a command and returns its untagged lines.
std::vector<std::string> command(const std::string& tag, const std::string& text) {
    const std::string line = tag + " " + text + "\r\n";
    if (write(connection, line.data(), line.size()) < 0)
        std::exit(1);
    std::vector<std::string> untagged;
    for (;;) {
        std::string reply = readLine();
        if (reply.compare(0, tag.size() + 1, tag + " ") == 0)
            return untagged;
        untagged.push_back(std::move(reply));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: imap_floor HOST PORT ADMIN PASSWORD UID\n");
        return 2;
    }
    const std::string uid = argv[5];
    connection = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::atoi(argv[2]));
    inet_pton(AF_INET, argv[1], &address.sin_addr);
    if (connect(connection, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return 1;
    readLine();  // greeting
    command("a", std::string("login ") + argv[3] + " \"" + argv[4] + "\"");
    std::vector<std::string> names;
    for (const std::string& line : command("b", "list \"\" *")) {
        std::string name = line.substr(line.find("\".\" ") + 4);
        if (!name.empty() && name.back() == '\r')
            name.pop_back();
        if (name.size() >= 2 && name.front() == '"')
            name = name.substr(1, name.size() - 2);
        names.push_back(name);
    }
    for (const std::string& name : names) {
        for (const std::string& acl : command("c", "getacl \"" + name + "\"")) {
            if (acl.find(" " + uid + " ") != std::string::npos) {
                command("d", "deleteacl \"" + name + "\" " + uid);
            }
        }
    }
    command("e", "namespace");
    command("f", "setacl \"user." + uid + "\" " + argv[3] + " x");
    command("g", "delete \"user." + uid + "\"");
    command("h", "logout");
    close(connection);
    return 0;
}
