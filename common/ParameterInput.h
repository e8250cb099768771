// The two ways parameters reach the programs: options, read with
// getopt_long_only over a table whose abbreviations keep their meaning
// (OptionAbbreviations), or name=value lines on standard input (no
// arguments at all, or "-" as the first one).
#pragma once

#include <getopt.h>

#include <functional>
#include <iosfwd>
#include <set>
#include <string>

bool isStdinMode(int argc, char** argv);

// Hands each option of `table` (which ends with an entry whose name is
// null) to `take`, in command-line order, with its value ("" for a flag);
// `take` returns -1 to go on, or the status to end the run with. The
// values of the options named in `secrets` are erased from the argument
// area once taken. Returns -1 at the end of the options. Raises
// MyException(255) for an unknown option or an option without its value.
int readOptionList(const option* table, int argc, char** argv, const std::set<std::string>& secrets,
                   const std::function<int(const std::string&, const std::string&)>& take);

// Hands each name=value line of `in` to `take`, until the end of input. A
// line that starts with a blank continues the value before it on a new
// line; a line without "=" is its own name and value; lines with an empty
// name or value are passed over.
void readParameterLines(std::istream& in,
                        const std::function<void(const std::string&, const std::string&)>& take);
