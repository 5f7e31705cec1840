#include "mkAssert.h"

#include <cstdio>
#include <cstdlib>

namespace mk {

void AssertionFailed(const char* expression, const char* file, int line)
{
    std::fprintf(stderr, "Assertion failed: %s, file %s, line %d\n", expression, file, line);
    std::fflush(stderr);
    std::abort();
}

}  // namespace mk
