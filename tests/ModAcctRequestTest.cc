// A change request built from name=value parameters as options, standard
// input and roster cells give them, without a directory.
#include <gtest/gtest.h>

#include "common/MyException.h"
#include "modacct/AccountChange.h"

TEST(ModAcctRequest, EachLockFlagSaysOnlyItsOwn) {
    using Parameters = std::vector<std::pair<std::string, std::string>>;
    const struct {
        Parameters given;  // in the order they arrive
        LockChange lock;
        bool refused;  // -lock with -unlock
    } cases[] = {
        {{{"lock", ""}}, LockChange::Lock, false},
        {{{"lock", "yes"}, {"unlock", "no"}}, LockChange::Lock, false},
        {{{"unlock", "off"}, {"lock", "1"}}, LockChange::Lock, false},
        {{{"lock", "0"}, {"unlock", "yes"}}, LockChange::Unlock, false},
        {{{"unlock", ""}, {"lock", "false"}}, LockChange::Unlock, false},
        {{{"lock", "no"}, {"unlock", "no"}}, LockChange::None, false},
        {{{"lock", ""}, {"unlock", ""}}, LockChange::Unlock, true},
    };
    for (const auto& c : cases) {
        AccountChange request;
        request.set("uid", "jdoe");
        for (const auto& [name, value] : c.given) {
            ASSERT_TRUE(request.set(name, value)) << name;
        }
        const std::string shown = c.given.front().first + "=" + c.given.front().second + " ...";
        if (c.refused) {
            EXPECT_THROW(request.check(), MyException) << shown;
            continue;
        }
        request.check();
        EXPECT_EQ(c.lock, request.lock) << shown;
    }
}
