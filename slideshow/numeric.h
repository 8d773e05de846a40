// Arithmetic shared by the slideshow and the transitions.
// Positions and sizes are signed 32-bit; products that the show lets wrap are done
// in unsigned types, and double-to-integer conversions truncate toward zero and
// saturate at the 32-bit range instead of being undefined.
#pragma once

#include <cstdint>
#include <limits>

namespace vellora {

inline std::int32_t trunc32(double value) {
    if (value != value) return 0;  // NaN
    if (value >= 2147483648.0) return std::numeric_limits<std::int32_t>::max();
    if (value <= -2147483649.0) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

// a × b modulo 2^32, as the 32-bit platform computes it.
inline std::uint32_t wrappingMultiply(std::int32_t a, std::uint32_t b) {
    return static_cast<std::uint32_t>(a) * b;
}

}  // namespace vellora
