// Keeps passwords out of core dumps: a program that holds the
// administrator's password (and made-up user passwords) must not leave
// them in a core file when it crashes.
#pragma once

// No core file for this process, and it cannot be made to write one (not
// dumpable, core size limit 0). Call first thing in main.
void disableCoreDumps();
