// Test Cyrus lifecycle through testenv/cyrus.sh, and plain-socket helpers
// that prepare and inspect its state independently of our clients.
#include "tests/support/Cyrus.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "common/Base64.h"
#include "tests/support/Process.h"
#include "tests/support/Slapd.h"

namespace {

const std::string kScript = std::string(TESTENV_DIR) + "/cyrus.sh";

class Socket {
  public:
    Socket(const std::string& host, int port) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        inet_pton(AF_INET, host.c_str(), &address.sin_addr);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            throw std::runtime_error("cannot connect to test Cyrus");
        }
    }
    ~Socket() { close(fd_); }
    void write(const std::string& bytes) {
        if (::write(fd_, bytes.data(), bytes.size()) < 0)
            throw std::runtime_error("write");
    }
    std::string line() {
        std::string text;
        char c;
        pollfd p{fd_, POLLIN, 0};
        while (poll(&p, 1, 10000) > 0 && read(fd_, &c, 1) == 1) {
            text += c;
            if (c == '\n')
                break;
        }
        return text;
    }

  private:
    int fd_;
};

// Reads Sieve lines up to and including the one starting with OK or NO.
std::string sieveReply(Socket& s) {
    std::string all;
    for (;;) {
        const std::string line = s.line();
        all += line;
        if (line.empty() || line.rfind("OK", 0) == 0 || line.rfind("NO", 0) == 0)
            return all;
    }
}

// `text` as an IMAP quoted string.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + '"';
}

void sieveLogin(Socket& s, const std::string& user) {
    sieveReply(s);
    s.write("AUTHENTICATE \"PLAIN\" \"" + base64(user + '\0' + "admin" + '\0' + "secret") +
            "\"\r\n");
    const std::string reply = sieveReply(s);
    if (reply.rfind("OK", 0) != 0)
        throw std::runtime_error("sieve login: " + reply);
}

}  // namespace

Cyrus::Cyrus() : dir_(makeTempFolder("cyrus-test")) {
    start();
}

Cyrus::Cyrus(const ServerTls& tls) : dir_(makeTempFolder("cyrus-test")) {
    std::ofstream(dir_ + "/tls.env")
        << "TLS_CERTS=" << testCertificates() << "\nTLS_CERT_NAME=" << tls.certificate
        << (tls.required ? "\nCYRUS_PLAINTEXT=no" : "") << "\n";
    start();
}

Cyrus::Cyrus(const Slapd& directory) : dir_(makeTempFolder("cyrus-test")) {
    start({"CYRUS_AUTH_LDAP=ldap://127.0.0.1:" + directory.portText() + "/"});
}

void Cyrus::start(const std::vector<std::string>& environment) {
    const ProcessResult started = runProcess(kScript, {"start", dir_}, "", false, environment);
    if (started.status != 0)
        throw std::runtime_error("Cyrus did not start: " + started.err);
    std::istringstream(started.out) >> imapPort_ >> sievePort_ >> imapsPort_;
    std::ifstream(dir_ + "/admin-ports") >> adminImapPort_ >> adminSievePort_;
}

Cyrus::Cyrus(const Running& server)
    : host_(server.host),
      imapPort_(server.imapPort),
      sievePort_(server.sievePort),
      adminImapPort_(server.imapPort),
      adminSievePort_(server.sievePort) {}

Cyrus::~Cyrus() {
    if (dir_.empty())
        return;
    runProcess(kScript, {"stop", dir_});
    runProcess("/bin/rm", {"-rf", dir_});
}

void Cyrus::addUser(const std::string& user, const std::string& password) const {
    runProcess(kScript, {"adduser", dir_, user, password});
}

bool Cyrus::userLogin(const std::string& user, const std::string& password) const {
    Socket s(host_, adminImapPort_);
    s.line();
    s.write("U1 login " + quoted(user) + " " + quoted(password) + "\r\n");
    for (std::string line = s.line(); !line.empty(); line = s.line()) {
        if (line.rfind("U1 ", 0) == 0)
            return line.rfind("U1 OK ", 0) == 0;
    }
    return false;
}

std::string Cyrus::imap(const std::vector<std::string>& commands) const {
    Socket s(host_, adminImapPort_);
    std::string all = s.line();
    s.write("T0 login admin secret\r\n");
    s.line();
    for (const std::string& command : commands) {
        const std::string tag = command.substr(0, command.find(' '));
        s.write(command + "\r\n");
        for (std::string line = s.line(); !line.empty(); line = s.line()) {
            all += line;
            if (line.rfind(tag + " ", 0) == 0)
                break;
        }
    }
    return all;
}

std::string Cyrus::mailboxesWithAcls() const {
    std::vector<std::string> names;
    std::istringstream listing(imap({"T1 list \"\" *"}));
    for (std::string line; std::getline(listing, line);) {
        if (line.rfind("* LIST ", 0) != 0)
            continue;
        std::string name = line.substr(line.find("\".\" ") + 4);
        if (!name.empty() && name.back() == '\r')
            name.pop_back();
        names.push_back(name);
    }
    std::vector<std::string> lines;
    for (const std::string& name : names) {
        const std::string quoted = name.front() == '"' ? name : "\"" + name + "\"";
        std::istringstream acl(imap({"T2 getacl " + quoted}));
        for (std::string line; std::getline(acl, line);) {
            if (line.rfind("* ACL ", 0) == 0)
                lines.push_back(line.substr(6));
        }
    }
    std::sort(lines.begin(), lines.end());
    std::string all;
    for (const std::string& line : lines)
        all += line + "\n";
    return all;
}

void Cyrus::putScripts(const std::string& user, const std::vector<std::string>& names,
                       const std::string& active) const {
    Socket s(host_, adminSievePort_);
    sieveLogin(s, user);
    const std::string body = "keep;\r\n";
    for (const std::string& name : names) {
        s.write("PUTSCRIPT \"" + name + "\" {" + std::to_string(body.size()) + "+}\r\n" + body +
                "\r\n");
        const std::string reply = sieveReply(s);
        if (reply.rfind("OK", 0) != 0)
            throw std::runtime_error("putscript: " + reply);
    }
    if (!active.empty()) {
        s.write("SETACTIVE \"" + active + "\"\r\n");
        sieveReply(s);
    }
    s.write("LOGOUT\r\n");
    sieveReply(s);
}

std::string Cyrus::listScripts(const std::string& user) const {
    Socket s(host_, adminSievePort_);
    sieveReply(s);
    s.write("AUTHENTICATE \"PLAIN\" \"" + base64(user + '\0' + "admin" + '\0' + "secret") +
            "\"\r\n");
    const std::string login = sieveReply(s);
    if (login.rfind("OK", 0) != 0)
        return login;
    s.write("LISTSCRIPTS\r\n");
    return sieveReply(s);
}

std::string mailboxesAfterRemoval(const std::string& before, const std::set<std::string>& uids) {
    std::istringstream in(before);
    std::string expected;
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line.substr(0, line.size() - 1));  // without the CR
        std::string mailbox;
        words >> mailbox;
        bool own = false;
        for (const std::string& uid : uids)
            own = own || mailbox == "user." + uid || mailbox.rfind("user." + uid + ".", 0) == 0;
        if (own)
            continue;
        std::string kept = mailbox;
        for (std::string identifier, rights; words >> identifier >> rights;) {
            if (!uids.count(identifier))
                kept += " " + identifier + " " + rights;
        }
        expected += kept + "\r\n";
    }
    return expected;
}
