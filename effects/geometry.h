// The rectangle an effect works on, read once from SlideState, with the short
// names the transitions are described in.
#pragma once

#include <cstdint>

#include "slideshow/slide_state.h"

namespace vellora {

struct Geometry {
    std::int32_t L, T, W, H;  // picture rectangle, pixels
    std::int32_t PW, PH;      // picture size, HIMETRIC
    std::int32_t SW, SH;      // screen size, pixels

    static Geometry current() {
        const SlideState& s = slideState();
        return {s.drawLeft, s.drawTop, s.drawWidth, s.drawHeight, s.pictureWidth, s.pictureHeight,
                s.screenWidth, s.screenHeight};
    }
};

}  // namespace vellora
