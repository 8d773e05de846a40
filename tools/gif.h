// A small animated-GIF writer for the developer tools.
//
// Contract:
// - One global palette of at most 256 0xRRGGBB colours for the whole animation;
//   frames are palette indices over a rectangle of the logical screen, drawn over
//   what the earlier frames left (disposal "leave in place").
// - A frame's transparent index, when set, leaves the pixels under it unchanged.
// - Output depends only on the input: the same frames give the same bytes.
// - Sizes are bounded by the format (16-bit); encode() reports false for a frame
//   that does not fit the screen or whose index count or indices are wrong.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vellora::gif {

struct Frame {
    std::uint16_t left = 0;
    std::uint16_t top = 0;
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::vector<std::uint8_t> indices;  // width * height, row-major from the top
    std::uint16_t delayCs = 0;          // hundredths of a second
    int transparent = -1;               // palette index, or -1 for none
};

// Appends the whole file to `out`; false (and `out` unchanged) for invalid input.
bool encode(std::uint16_t width, std::uint16_t height, const std::vector<std::uint32_t>& palette,
            const std::vector<Frame>& frames, std::string& out);

// The image data of one frame: variable-width LZW codes from a clear code to the
// end code, packed from the lowest bit. Exposed for the tests.
std::vector<std::uint8_t> lzwCompress(const std::vector<std::uint8_t>& indices, int minCodeSize);

// The smallest minimum code size the format allows for a palette of this many colours.
int minCodeSizeFor(std::size_t paletteSize);

// At most `maxColours` colours that stand for `pixels`, by median cut: the box of
// colours with the widest channel range is split at its median until there are
// enough boxes, and each box gives its mean colour. Deterministic.
std::vector<std::uint32_t> medianCutPalette(const std::vector<std::uint32_t>& pixels, std::size_t maxColours);

// The index of the palette colour nearest to `colour` (squared RGB distance; the
// lowest index among equals).
std::uint8_t nearestIndex(const std::vector<std::uint32_t>& palette, std::uint32_t colour);

}  // namespace vellora::gif
