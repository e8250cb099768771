// Provider pairs and consumers through testenv/slapd.sh.
#include "tests/support/Replicas.h"

#include <stdlib.h>

#include <chrono>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/Process.h"

namespace {

const std::string kScript = std::string(TESTENV_DIR) + "/slapd.sh";

std::pair<int, int> startPair(const std::string& dir) {
    const ProcessResult started = runProcess(kScript, {"start-pair", dir});
    if (started.status != 0)
        throw std::runtime_error("provider pair did not start: " + started.err);
    std::pair<int, int> ports;
    std::istringstream(started.out) >> ports.first >> ports.second;
    return ports;
}

}  // namespace

ProviderPair::ProviderPair()
    : dir_(makeTempFolder("slapd-pair")),
      ports_(startPair(dir_)),
      a_(Slapd::Running{ports_.first}),
      b_(Slapd::Running{ports_.second}) {}

ProviderPair::~ProviderPair() {
    runProcess(kScript, {"kill", dir_});
    runProcess("/bin/rm", {"-rf", dir_});
}

int ProviderPair::startConsumer() {
    const ProcessResult started =
        runProcess(kScript, {"start-consumer", dir_ + "/consumer", a_.portText()});
    if (started.status != 0)
        throw std::runtime_error("consumer did not start: " + started.err);
    return std::stoi(started.out);
}

bool ProviderPair::converge() const {
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (a_.dump("entryUUID") == b_.dump("entryUUID"))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}
