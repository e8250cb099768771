#include "dropacct/DropAcct.h"

void DropAcct::dropAcctSieve() {}
