// Output that must reach its reader: result lines, plans and made-up
// passwords. A full disk or a reader that went away must end the run with
// a status of its own, not 0 with the passwords lost.
#pragma once

#include <ostream>
#include <string>

// The status of a run whose output could not be written (235 for both
// programs); the message goes to standard error.
constexpr int kOutputFailed = -21;

// Flushes `out`; false when anything written to it failed to go out. The
// system's reason is kept for outputFailure.
bool flushed(std::ostream& out);

// "output could not be written (<reason>): <lost>", with the reason the
// last failed flush met ("No space left on device").
std::string outputFailure(const std::string& lost);
