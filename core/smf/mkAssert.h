// Invariant checks of the SMF library.
//
// MK_ASSERT stays active in every build type: a broken invariant in the
// library means the bytes it would produce or read can no longer be trusted,
// so the program stops at once, naming the violated expression and the source
// file that checks it.
#pragma once

namespace mk {
[[noreturn]] void AssertionFailed(const char* expression, const char* file, int line);
}

#define MK_ASSERT(expr) \
    ((expr) ? static_cast<void>(0) : ::mk::AssertionFailed(#expr, __FILE__, __LINE__))
