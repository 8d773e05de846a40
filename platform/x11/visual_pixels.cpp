#include "platform/x11/visual_pixels.h"

#include <bit>

namespace vellora::x11 {
namespace {

std::uint32_t scaled(std::uint32_t channel, std::uint32_t mask) {
    if (mask == 0) return 0;
    const int shift = std::countr_zero(mask);
    const std::uint64_t top = mask >> shift;
    return static_cast<std::uint32_t>((channel * top + 127) / 255) << shift;
}

}  // namespace

VisualFormat colourFormat(std::uint32_t redMask, std::uint32_t greenMask, std::uint32_t blueMask, int depth) {
    const std::uint32_t depthBits = depth >= 32 ? 0xFFFFFFFFu : (1u << depth) - 1;
    return {redMask, greenMask, blueMask, depthBits & ~(redMask | greenMask | blueMask), {}};
}

std::uint32_t cubeChannel(int level) { return static_cast<std::uint32_t>(level * 255 / (cubeLevels - 1)); }

std::vector<std::uint32_t> nearestTable(const std::vector<PaletteColour>& available) {
    std::vector<std::uint32_t> table(static_cast<std::size_t>(tableLevels * tableLevels * tableLevels), 0);
    if (available.empty()) return table;
    const int step = 256 / tableLevels;
    std::size_t at = 0;
    for (int r = step / 2; r < 256; r += step)
        for (int g = step / 2; g < 256; g += step)
            for (int b = step / 2; b < 256; b += step) {
                std::int64_t best = -1;
                for (const PaletteColour& c : available) {
                    const std::int64_t dr = static_cast<std::int64_t>(c.rgb >> 16 & 255) - r,
                                       dg = static_cast<std::int64_t>(c.rgb >> 8 & 255) - g,
                                       db = static_cast<std::int64_t>(c.rgb & 255) - b;
                    const std::int64_t distance = dr * dr + dg * dg + db * db;
                    if (best < 0 || distance < best) {
                        best = distance;
                        table[at] = c.pixel;
                    }
                }
                ++at;
            }
    return table;
}

std::uint32_t pixelValue(const VisualFormat& format, std::uint32_t rgb) {
    const std::uint32_t r = rgb >> 16 & 0xFF, g = rgb >> 8 & 0xFF, b = rgb & 0xFF;
    if (!format.palette.empty()) {
        const std::size_t index = (r >> 3) * tableLevels * tableLevels + (g >> 3) * tableLevels + (b >> 3);
        return index < format.palette.size() ? format.palette[index] : 0;
    }
    return scaled(r, format.redMask) | scaled(g, format.greenMask) | scaled(b, format.blueMask) | format.unusedBits;
}

bool packRow(const VisualFormat& format, const std::uint32_t* rgb, std::size_t count, unsigned char* out,
             int bitsPerPixel, bool mostSignificantFirst) {
    if (bitsPerPixel != 8 && bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32) return false;
    const int bytes = bitsPerPixel / 8;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t value = pixelValue(format, rgb[i]);
        for (int k = 0; k < bytes; ++k) {
            const int shift = 8 * (mostSignificantFirst ? bytes - 1 - k : k);
            *out++ = static_cast<unsigned char>(value >> shift);
        }
    }
    return true;
}

}  // namespace vellora::x11
