// Writing out abbreviated options before getopt sees them.
#include "common/OptionAbbreviations.h"

#include <cstring>

const option* resolveOption(const option* options, const std::string& name) {
    const option* original = nullptr;
    const option* newer = nullptr;
    int originals = 0;
    int newers = 0;
    for (const option* o = options; o->name; ++o) {
        if (name == o->name) {
            return o;
        }
        if (name.empty() || std::strncmp(o->name, name.c_str(), name.size()) != 0) {
            continue;
        }
        if (o->val == kNewerOption) {
            newer = o;
            ++newers;
        } else {
            original = o;
            ++originals;
        }
    }
    if (originals > 0) {
        return originals == 1 ? original : nullptr;
    }
    return newers == 1 ? newer : nullptr;
}

OptionAbbreviations::OptionAbbreviations(const option* options, int argc, char** argv) {
    bool ended = false;
    for (int i = 0; i < argc; ++i) {
        char* argument = argv[i];
        const size_t dashes = argument[0] != '-' ? 0 : argument[1] == '-' ? 2 : 1;
        if (i == 0 || ended || dashes == 0 || argument[dashes] == '\0') {
            ended = ended || (i > 0 && std::strcmp(argument, "--") == 0);
            argv_.push_back(argument);
            continue;
        }
        const char* body = argument + dashes;
        const char* equals = std::strchr(body, '=');
        const std::string name(body, equals ? equals - body : std::strlen(body));
        const option* found = resolveOption(options, name);
        if (!found || name == found->name) {
            // Left to getopt: exact, or its error.
            argv_.push_back(argument);
            if (found && found->has_arg == required_argument && !equals && i + 1 < argc) {
                argv_.push_back(argv[++i]);
            }
            continue;
        }
        const bool split = found->has_arg == required_argument && equals;
        std::string full = std::string(argument, dashes) + found->name;
        if (equals && !split) {
            full += equals;  // a flag with a value: refused by getopt as before
        }
        written_.push_back(full);
        char* element = written_.back().data();
        given_[element] = argument;
        argv_.push_back(element);
        if (split) {
            // The value stays the caller's own string.
            argv_.push_back(argument + (equals - argument) + 1);
        } else if (found->has_arg == required_argument && i + 1 < argc) {
            argv_.push_back(argv[++i]);
        }
    }
    argv_.push_back(nullptr);
}

std::string OptionAbbreviations::given(const char* argument) const {
    const auto found = given_.find(argument);
    return found == given_.end() ? argument : found->second;
}
