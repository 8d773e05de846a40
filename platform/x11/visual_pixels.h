// The show's 0xRRGGBB pixels as the values of a window's visual, for displays that
// are not 24-bit TrueColor: 16-bit and 8-bit TrueColor, BGR layouts, 32-bit windows
// with alpha, and palette visuals.
//
// Contract:
// - A colour visual (TrueColor, DirectColor) is told by its three masks; each
//   channel is scaled from 8 bits to its mask's width, rounding to the nearest
//   level. Bits of the depth that no mask covers (alpha) are set, so a window with
//   alpha shows the picture opaque.
// - A palette visual is told by a table of 32 × 32 × 32 pixel values (red slowest),
//   indexed by the top five bits of each channel; nearestTable makes it from the
//   colours the colormap holds, each entry the one nearest to the middle of its cell.
// - Rows are packed for 8, 16, 24 or 32 bits per pixel in either byte order; other
//   layouts are refused, for the caller to put pixels one by one.
// - Pure functions: no display, no allocation per pixel, nothing throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vellora::x11 {

// The colours a palette visual is asked for first: a 6 × 6 × 6 cube.
inline constexpr int cubeLevels = 6;
inline constexpr int tableLevels = 32;

struct VisualFormat {
    std::uint32_t redMask = 0, greenMask = 0, blueMask = 0;
    std::uint32_t unusedBits = 0;         // within the depth, set in every pixel
    std::vector<std::uint32_t> palette;  // tableLevels³ pixel values; empty for a colour visual
};

struct PaletteColour {
    std::uint32_t pixel;
    std::uint32_t rgb;  // 0xRRGGBB
};

// The format of a colour visual of `depth` bits.
VisualFormat colourFormat(std::uint32_t redMask, std::uint32_t greenMask, std::uint32_t blueMask, int depth);

// The 8-bit value of each level of the cube.
std::uint32_t cubeChannel(int level);

// The palette table for the colours a colormap holds; all zero when it holds none.
std::vector<std::uint32_t> nearestTable(const std::vector<PaletteColour>& available);

std::uint32_t pixelValue(const VisualFormat& format, std::uint32_t rgb);

// Writes `count` pixels as the visual's values; false for an unsupported layout.
bool packRow(const VisualFormat& format, const std::uint32_t* rgb, std::size_t count, unsigned char* out,
             int bitsPerPixel, bool mostSignificantFirst);

}  // namespace vellora::x11
