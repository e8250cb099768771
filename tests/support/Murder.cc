// Murder lifecycle through testenv/murder.sh.
#include "tests/support/Murder.h"

#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <sstream>
#include <stdexcept>

#include "tests/support/Process.h"
#include "tests/support/ServerTls.h"

namespace {
const std::string kScript = std::string(TESTENV_DIR) + "/murder.sh";
}

Murder::Murder(bool tls) : dir_(makeTempFolder("murder-test")) {
    std::vector<std::string> environment;
    if (tls)
        environment.push_back("MURDER_TLS_CERTS=" + testCertificates());
    const ProcessResult started = runProcess(kScript, {"start", dir_}, "", false, environment);
    if (started.status != 0)
        throw std::runtime_error("murder did not start: " + started.err + started.out);
    std::istringstream lines(started.out);
    for (std::string line; std::getline(lines, line);) {
        const std::string name = line.substr(0, line.find('='));
        const std::string value = line.substr(line.find('=') + 1);
        if (name == "MURDER_FE_IMAP_PORT")
            frontendImap_ = std::stoi(value);
        if (name == "MURDER_FE_SIEVEPROXY_PORT")
            frontendSieveProxy_ = std::stoi(value);
    }
    frontend_ =
        std::make_unique<Cyrus>(Cyrus::Running{"127.0.0.1", frontendImap_, frontendSieveProxy_});
    backendA_ = std::make_unique<Cyrus>(Cyrus::Running{"127.0.0.2", 143, 4190});
    backendB_ = std::make_unique<Cyrus>(Cyrus::Running{"127.0.0.3", 143, 4190});
}

void Murder::synchronize() const {
    // The frontend's mupdate slave answers "ok" once it has caught up.
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = dir_ + "/frontend/config/socket/mupdate.target";
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    char reply[16];
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        recv(fd, reply, sizeof reply, 0) <= 0) {
        close(fd);
        throw std::runtime_error("the frontend's mupdate slave does not answer");
    }
    close(fd);
}

Murder::~Murder() {
    runProcess(kScript, {"stop", dir_});
    runProcess("/bin/rm", {"-rf", dir_});
}
