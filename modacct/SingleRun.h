// One modacct run for one account: checks, bind, the engine, and what the
// caller is told: nothing (or the plan, or the made-up password) for
// success, the message on standard output otherwise.
#pragma once

#include <iosfwd>

class ChangeSettings;

// The exit status.
int changeOne(const ChangeSettings& settings, std::ostream& out);
