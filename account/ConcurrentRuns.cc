// The back-off between attempts.
#include "account/ConcurrentRuns.h"

#include <algorithm>
#include <random>
#include <thread>

void pauseBeforeAttempt(int attempt) {
    static std::mt19937 random{std::random_device{}()};
    const int ceiling = std::min(4 << std::min(attempt, 7), 400);
    std::uniform_int_distribution<int> milliseconds(1, ceiling);
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds(random)));
}
