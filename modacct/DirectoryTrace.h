// modacct's -debug trace on standard error: each step of the engine and the
// bind, never a password.
#pragma once

#include <string>

#include "modacct/ChangeEngine.h"

class DirectorySession;

// The engine's trace: to standard error with -debug, else none.
ChangeEngine::Trace engineTrace(bool debug);
// Binds `session`, tracing where to and as whom with -debug, the line
// starting with the name of `program`.
void bindTraced(DirectorySession& session, bool debug, const std::string& program = "modacct");
