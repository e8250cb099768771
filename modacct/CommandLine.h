// The options of modacct: newacct's names for every shared parameter (its
// first-release options stay original options, so their abbreviations mean
// what they meant), and modacct's own newer ones.
#pragma once

#include <iosfwd>

#include "common/ParameterInput.h"

class ChangeSettings;

// Reads the options. Returns -1 when the run goes on, else the exit status
// to end it with (1 after -help or -V). Raises MyException(255) for an
// unknown option, an option without its value, and a parameter modacct
// does not change.
int readOptions(ChangeSettings& settings, int argc, char** argv, std::ostream& out);

// The help text.
void modacctUsage(std::ostream& out);
