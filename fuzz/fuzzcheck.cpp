// SPDX-License-Identifier: LGPL-2.1-or-later
#include "FuzzTargets.h"

#include <cstdio>
#include <cstdlib>

namespace NorvoFuzz {

const char *currentInput = nullptr;

void fail(const char *rule, const char *file, int line)
{
    std::fprintf(stderr, "fuzz rule broken: %s (%s:%d)%s%s\n", rule, file, line,
                 currentInput ? " input: " : "", currentInput ? currentInput : "");
    std::fflush(stderr);
    std::abort();
}

} // namespace NorvoFuzz
