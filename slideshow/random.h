// The process-wide pseudo-random generator of the show: a 32-bit state, 1 until
// seeded; each draw advances it and returns bits 16 to 30 (0..32767).
#pragma once

#include <cstdint>

namespace vellora {

void seedRandom(std::uint32_t seed);
std::int32_t drawRandom();
std::uint32_t randomState();

}  // namespace vellora
