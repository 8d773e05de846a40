// A picture's own colours behind it instead of black bars: the picture scaled to
// cover the whole screen, blurred strongly and darkened.
//
// Contract:
// - The backdrop is made from a reduced cover: the picture drawn, centred and
//   covering, onto a surface that planCover sizes at a quarter of the screen's in
//   each direction (rounded up to even). paintBackdrop averages it down to an
//   eighth, blurs it there with a radius of about a twentieth of the screen's
//   width, darkens it and scales it up over the whole screen with bilinear
//   filtering: its cost grows with the screen, not with the picture, and
//   neighbouring pixels of the result differ little.
// - Surfaces are 0xRRGGBB words as in pixel_drawing.h. Memory in proportion to the
//   reduced cover only. Nothing throws but std::bad_alloc.
// - blurPlane blurs one 8-bit plane with `passes` box passes of the given radius
//   each way, edges extended; three passes come close to a Gaussian.
#pragma once

#include <cstdint>

#include "platform/pixel_drawing.h"

namespace vellora {

struct CoverPlan {
    std::int32_t width = 0, height = 0;  // the reduced cover's surface
    PixelRect picture;                   // where the picture goes on it
};

// The reduced cover for a screen, and the place on it of a picture shown
// `pictureWidth` × `pictureHeight` pixels large.
CoverPlan planCover(std::int32_t screenWidth, std::int32_t screenHeight, double pictureWidth, double pictureHeight);

// Paints `screen` with the backdrop that the reduced cover gives, all of it but
// `hole`, where the picture itself goes.
void paintBackdrop(const SurfaceView& cover, SurfaceView screen, const PixelRect& hole = {});

void blurPlane(std::uint8_t* plane, std::int32_t width, std::int32_t height, std::int32_t stride, std::int32_t radius,
               int passes);

}  // namespace vellora
