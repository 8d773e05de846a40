#include "slideshow/random.h"

namespace vellora {
namespace {
std::uint32_t state = 1;
}

void seedRandom(std::uint32_t seed) { state = seed; }

std::int32_t drawRandom() {
    state = state * 214013u + 2531011u;
    return static_cast<std::int32_t>((state >> 16) & 0x7FFFu);
}

std::uint32_t randomState() { return state; }

}  // namespace vellora
