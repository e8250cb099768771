// The options of newacct's first release, in its table order: the original
// options of every program that takes account parameters, so that their
// abbreviations keep one meaning across the programs and their releases.
#pragma once

#include <getopt.h>

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

// The first-release options marked original (kOriginalOption).
const std::vector<option>& firstReleaseOptions();

// A getopt table: the first-release options, the program's options that
// another program had in its first release (`originals`, marked original
// too), the newer options all these programs have (TLS, the password file,
// the plan, the site defaults, the batch and its encoding, made-up
// passwords), then the program's own newer options `own`, then the
// all-zero end entry.
std::vector<option> accountOptionTable(const std::vector<option>& own,
                                       const std::vector<option>& originals = {});

// Reads the options of `table`: -help writes `usage` and -V the line
// `version` and an empty line to `out` (both end the run with status 1);
// every other option goes to `take`, and the values of -ap and -up are then
// erased from the argument area. Returns -1 at the end of the options.
// Raises MyException(255) for an unknown option or one without its value.
int readAccountOptions(const std::vector<option>& table, int argc, char** argv, std::ostream& out,
                       const std::string& version, void (*usage)(std::ostream&),
                       const std::function<void(const std::string&, const std::string&)>& take);

// Reads a run's parameters: name=value lines from `in` when the program was
// started without arguments or with "-" first (values are then taken as
// UTF-8), each handed to `take`; else the options, through `readOptions`.
// Returns -1 when the run goes on, else the status to end it with (-help,
// -V). Raises the MyException of a parameter refused as it arrives.
int readRunParameters(int argc, char** argv, std::istream& in,
                      const std::function<int()>& readOptions,
                      const std::function<void(const std::string&, const std::string&)>& take);

// The same into a program's `settings` (its addParam), from standard input
// or through `readOptions`, then its site defaults under what was given.
template <class Settings>
int readRunSettings(Settings& settings, int argc, char** argv, std::istream& in, std::ostream& out,
                    int (*readOptions)(Settings&, int, char**, std::ostream&)) {
    const int status = readRunParameters(
        argc, argv, in, [&] { return readOptions(settings, argc, argv, out); },
        [&settings](const std::string& name, const std::string& value) {
            settings.addParam(name, value);
        });
    if (status < 0) {
        settings.applySiteDefaults();
    }
    return status;
}
