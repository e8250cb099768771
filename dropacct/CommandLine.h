// The two ways parameters reach dropacct: options, or name=value lines on
// standard input (no arguments at all, or "-" as the first one).
#pragma once

#include <iosfwd>

#include "common/ParameterInput.h"

class DropAcct;

// Reads the options into `account`. Returns -1 when the run goes on, else the
// exit status to end it with: 1 after -help or -V, 255 after an option the
// parser refused (its own diagnostic is on standard error).
int readOptions(DropAcct& account, int argc, char** argv, std::ostream& out);

// Reads name=value lines until the end of input. A line without a value
// prints the help text; the flags imap, ldap, sieve and noacl stand alone.
void readStdin(DropAcct& account, std::istream& in, std::ostream& out);
