// Shared by the fuzz targets: an in-memory file system installed as the platform's,
// and a check that stops the run with a message when an expectation fails.
#pragma once

#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"
#include "platform/test/test_platform.h"

namespace vellora::fuzz {

inline test::MemoryFiles& memoryFiles() {
    static test::MemoryFiles files;
    static bool installed = (installPlatform({nullptr, &files, nullptr, nullptr}), true);
    (void)installed;
    return files;
}

// A failed expectation is a finding: abort, so libFuzzer keeps the input.
inline void require(bool holds, const char* expectation) {
    if (holds) return;
    std::fprintf(stderr, "expectation failed: %s\n", expectation);
    std::abort();
}

}  // namespace vellora::fuzz
