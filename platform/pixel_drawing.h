// Software drawing into a 0xRRGGBB pixel surface, shared by every platform that
// paints its own pixels (the test platform and the X11 platform), so that what
// they show cannot drift apart.
//
// Contract:
// - A surface is width × height pixels, row-major from the top, no padding.
// - Every operation clips to the surface and returns the rectangle it may have
//   changed (empty when nothing), so a caller can show just that part.
// - renderPicture follows the picture conventions of platform.h: the source
//   rectangle is HIMETRIC with y upward from the picture's bottom edge, so a
//   negative source height copies top-down. Each destination pixel takes the
//   source pixel under its centre (nearest neighbour); destination pixels whose
//   source lies outside the picture keep what the surface had there.
// - piePixels follows the Windows Pie rules: the bounding box is the ellipse's,
//   the wedge runs counter-clockwise from the radial through (x1, y1) to the radial
//   through (x2, y2), both radials and the one-pixel outline belong to it, and equal
//   radials make a whole ellipse.
// - Nothing here allocates in proportion to a picture, and nothing throws.
#pragma once

#include <algorithm>
#include <cstdint>

namespace vellora {

struct SurfaceView {
    std::uint32_t* pixels = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

struct SourcePixels {
    const std::uint32_t* pixels = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t widthHimetric = 0;
    std::int32_t heightHimetric = 0;
};

struct PixelRect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool empty() const { return right <= left || bottom <= top; }
};

// The smallest rectangle holding both.
inline PixelRect unite(PixelRect a, PixelRect b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

// The part of `r` on a surface of `width` × `height`.
inline PixelRect clip(PixelRect r, std::int32_t width, std::int32_t height) {
    return {std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, width), std::min(r.bottom, height)};
}

// The natural size of a bitmap at the display's logical 96 pixels per inch:
// pixels × 2540 / 96, rounded, and saturated at the 32-bit range, so that a side
// longer than about 81 million pixels (within the pixel cap for a thin picture)
// still has the largest positive size rather than a wrapped one.
std::int32_t himetricFromPixels(std::int32_t pixels);

PixelRect fillPixels(SurfaceView surface, std::int32_t left, std::int32_t top, std::int32_t right,
                     std::int32_t bottom, std::uint32_t colour);

PixelRect renderPicture(SurfaceView surface, const SourcePixels& picture, std::int32_t x, std::int32_t y,
                        std::int32_t cx, std::int32_t cy, std::int32_t xSrc, std::int32_t ySrc, std::int32_t cxSrc,
                        std::int32_t cySrc);

PixelRect piePixels(SurfaceView surface, std::int32_t left, std::int32_t top, std::int32_t right,
                    std::int32_t bottom, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
                    std::uint32_t colour);

}  // namespace vellora
