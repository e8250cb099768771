// dropacct's standard-input parameter reader and checks on arbitrary input.
#include <sstream>

#include "common/MyException.h"
#include "dropacct/CommandLine.h"
#include "dropacct/DropAcct.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::istringstream in(asString(data, size));
    std::ostream out(nullptr);  // the help texts it writes are not looked at
    DropAcct account;
    // A password file that cannot be read ends the reading, as in the program.
    try {
        readStdin(account, in, out);
        account.checkParams();
    } catch (const MyException&) {
    }
    return 0;
}
