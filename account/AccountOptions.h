// The options of newacct's first release, in its table order: the original
// options of every program that takes account parameters, so that their
// abbreviations keep one meaning across the programs and their releases.
#pragma once

#include <getopt.h>

#include <vector>

// The first-release options marked original (kOriginalOption).
const std::vector<option>& firstReleaseOptions();

// A getopt table: the first-release options, then `newer` (each marked
// kNewerOption), then the all-zero end entry.
std::vector<option> accountOptionTable(const std::vector<option>& newer);
