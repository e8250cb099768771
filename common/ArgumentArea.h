// The process's argument area, which every local user can read (ps,
// /proc/PID/cmdline): secrets given as options are erased from it once
// they are stored.
#pragma once

// Overwrites the argument `value` (a pointer into argv) with NUL bytes.
void eraseArgument(char* value);
