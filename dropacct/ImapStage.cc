#include "dropacct/DropAcct.h"
void DropAcct::dropAcctFromCyrus() {}
