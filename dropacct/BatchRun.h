// dropacct -batch: the accounts of a roster file, checked before anything is
// removed, removed together, and one result line for each.
#pragma once

#include <ostream>

class DropAcct;

// Reads the roster named with -batch and removes its accounts; returns the
// exit status. Raises MyException for a roster that is refused (nothing is
// removed then).
int runBatch(DropAcct& run, std::ostream& out);
