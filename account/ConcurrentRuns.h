// How a run that meets another run's write of the same value backs off:
// it puts its own write back, pauses a random moment and tries again, and
// takes a holder that is still there after a pause as settled. Two runs
// that both put back meet again only by chance.
#pragma once

#include <chrono>

// Attempts before a run gives up (status 243).
constexpr int kMaxAttempts = 30;
// Longer than any run needs from its write to putting it back: a holder
// seen again after it is not another run on its way back.
constexpr std::chrono::milliseconds kSettlePause{150};

// A random pause before attempt `attempt`, growing with it (at most 400 ms).
void pauseBeforeAttempt(int attempt);
