// The test authority's certificates, made on first use.
#include "tests/support/ServerTls.h"

#include <stdlib.h>

#include <stdexcept>

#include "tests/support/Process.h"

const std::string& testCertificates() {
    static const std::string folder = [] {
        const std::string dir = makeTempFolder("test-certs");
        const ProcessResult made = runProcess(std::string(TESTENV_DIR) + "/certs.sh", {dir});
        if (made.status != 0)
            throw std::runtime_error("certs.sh failed: " + made.err);
        return dir;
    }();
    return folder;
}

std::string testCertificate(const std::string& name) {
    return testCertificates() + "/" + name;
}
