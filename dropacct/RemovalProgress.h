// What a removal run tells its caller while it runs: each account as soon as
// its result is known, and how far the ACL sweep has come.
#pragma once

#include <cstddef>
#include <functional>

class AccountRemoval;

struct RemovalProgress {
    std::function<void(AccountRemoval& account)> settled;
    std::function<void(size_t swept, size_t total)> swept;
};
