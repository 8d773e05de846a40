#include "platform/decoding/orientation.h"

#include <algorithm>
#include <utility>

#include "platform/exif.h"

namespace vellora::linux_platform {
namespace {

std::size_t indexOf(std::size_t x, std::size_t y, std::size_t width) { return y * width + x; }

void mirrorRows(DecodedImage& image) {
    const auto width = static_cast<std::size_t>(image.width);
    for (std::size_t y = 0; y < static_cast<std::size_t>(image.height); ++y) {
        auto row = image.pixels.begin() + static_cast<std::ptrdiff_t>(y * width);
        std::reverse(row, row + static_cast<std::ptrdiff_t>(width));
    }
}

void mirrorColumns(DecodedImage& image) {
    const auto width = static_cast<std::size_t>(image.width);
    const auto height = static_cast<std::size_t>(image.height);
    for (std::size_t top = 0, bottom = height; top + 1 < bottom; ++top, --bottom)
        std::swap_ranges(image.pixels.begin() + static_cast<std::ptrdiff_t>(top * width),
                         image.pixels.begin() + static_cast<std::ptrdiff_t>((top + 1) * width),
                         image.pixels.begin() + static_cast<std::ptrdiff_t>((bottom - 1) * width));
}

// Orientations 5 to 8: the shown picture's row y is made of the stored picture's
// column, read downward or upward, that the orientation names.
void turnSideways(DecodedImage& image, int orientation) {
    const auto w = static_cast<std::size_t>(image.width);
    const auto h = static_cast<std::size_t>(image.height);
    std::vector<std::uint32_t> turned(image.pixels.size());
    // Shown picture: h wide, w high.
    for (std::size_t y = 0; y < w; ++y)
        for (std::size_t x = 0; x < h; ++x) {
            std::size_t sx = 0, sy = 0;
            switch (orientation) {
            case 5: sx = y, sy = x; break;
            case 6: sx = y, sy = h - 1 - x; break;
            case 7: sx = w - 1 - y, sy = h - 1 - x; break;
            default: sx = w - 1 - y, sy = x; break;  // 8
            }
            turned[indexOf(x, y, h)] = image.pixels[indexOf(sx, sy, w)];
        }
    image.pixels = std::move(turned);
    std::swap(image.width, image.height);
}

}  // namespace

void applyOrientation(DecodedImage& image, int orientation) {
    if (orientation < 2 || orientation > 8 || image.width <= 0 || image.height <= 0) return;
    if (image.pixels.size() / static_cast<std::size_t>(image.width) != static_cast<std::size_t>(image.height) ||
        image.pixels.size() % static_cast<std::size_t>(image.width) != 0)
        return;
    switch (orientation) {
    case 2: mirrorRows(image); break;
    case 3: mirrorRows(image), mirrorColumns(image); break;
    case 4: mirrorColumns(image); break;
    default: turnSideways(image, orientation); break;
    }
}

void turnUpright(DecodedImage& image, const unsigned char* fileData, std::size_t fileSize) {
    applyOrientation(image, image.orientation != 0 ? image.orientation : jpegOrientation(fileData, fileSize));
    image.orientation = 0;
}

}  // namespace vellora::linux_platform
