// The options of syncacct: newacct's names for the directory and the shared
// values, dropacct's for the mail servers (the first-release options of
// both stay original options, so their abbreviations mean what they
// meant), and syncacct's own newer ones.
#pragma once

#include <iosfwd>

#include "common/ParameterInput.h"

class SyncSettings;

// Reads the options. Returns -1 when the run goes on, else the exit status
// to end it with (1 after -help or -V). Raises MyException(255) for an
// unknown option, an option without its value, and a value syncacct refuses.
int readOptions(SyncSettings& settings, int argc, char** argv, std::ostream& out);

// The help text.
void syncacctUsage(std::ostream& out);
