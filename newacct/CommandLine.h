// The two ways parameters reach newacct: options, or name=value lines on
// standard input (no arguments at all, or "-" as the first one), where a
// line starting with a blank continues the previous value.
#pragma once

#include <iosfwd>

#include "common/ParameterInput.h"

class RunSettings;

// Reads the options. Returns -1 when the run goes on, else the exit status
// to end it with (1 after -help or -V). Raises MyException(255) for an
// unknown option or an option without its value.
int readOptions(RunSettings& settings, int argc, char** argv, std::ostream& out);

// Reads name=value lines until the end of input; lines with an empty name
// or value are ignored.
void readStdin(RunSettings& settings, std::istream& in);
