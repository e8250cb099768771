// Switching core dumps off for the process.
#include "common/CoreDumps.h"

#include <sys/prctl.h>
#include <sys/resource.h>

void disableCoreDumps() {
    // Both: root can raise a limit again, while a process that is not
    // dumpable writes no core whatever the limit (and no other process of
    // the same user can attach to it and read its memory).
    const rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}
