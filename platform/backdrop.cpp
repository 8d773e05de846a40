#include "platform/backdrop.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace vellora {
namespace {

constexpr std::int32_t coverDivisor = 4;    // the cover is a quarter of the screen's size, blurred at half that
constexpr double radiusDivisor = 20;        // the blur's radius: a twentieth of the screen's width
constexpr int blurPasses = 3;
constexpr std::uint32_t darkening = 115;    // of 256: what is left of each channel

std::int32_t roundedUpQuotient(std::int32_t value, std::int32_t divisor) { return (value + divisor - 1) / divisor; }

// a + (b - a) × weight / 256 in each channel of two 0xRRGGBB words at once.
std::uint32_t blend(std::uint32_t a, std::uint32_t b, std::uint32_t weight) {
    const std::uint32_t keep = 256 - weight;
    const std::uint32_t redBlue = ((a & 0xFF00FF) * keep + (b & 0xFF00FF) * weight) >> 8 & 0xFF00FF;
    const std::uint32_t green = ((a & 0x00FF00) * keep + (b & 0x00FF00) * weight) >> 8 & 0x00FF00;
    return redBlue | green;
}

// For each target position, the source position below it and the weight of the next one.
struct Tap {
    std::int32_t index;
    std::uint32_t weight;  // of 256
};

std::vector<Tap> taps(std::int32_t targetSize, std::int32_t sourceSize) {
    std::vector<Tap> result(static_cast<std::size_t>(targetSize));
    for (std::int32_t t = 0; t < targetSize; ++t) {
        const double at = std::clamp((t + 0.5) * sourceSize / targetSize - 0.5, 0.0, sourceSize - 1.0);
        const auto index = static_cast<std::int32_t>(at);
        result[static_cast<std::size_t>(t)] = {index, static_cast<std::uint32_t>((at - index) * 256.0 + 0.5)};
    }
    return result;
}

void boxPass(std::uint8_t* line, std::ptrdiff_t step, std::int32_t length, std::int32_t radius, std::vector<std::uint8_t>& copy) {
    copy.resize(static_cast<std::size_t>(length));
    for (std::int32_t i = 0; i < length; ++i) copy[static_cast<std::size_t>(i)] = line[i * step];
    auto at = [&](std::int32_t i) -> std::uint32_t { return copy[static_cast<std::size_t>(std::clamp(i, 0, length - 1))]; };
    const std::uint32_t width = 2 * static_cast<std::uint32_t>(radius) + 1;
    std::uint32_t sum = 0;
    for (std::int32_t i = -radius; i <= radius; ++i) sum += at(i);
    for (std::int32_t i = 0; i < length; ++i) {
        line[i * step] = static_cast<std::uint8_t>((sum + width / 2) / width);
        sum += at(i + radius + 1);
        sum -= at(i - radius);
    }
}

}  // namespace

CoverPlan planCover(std::int32_t screenWidth, std::int32_t screenHeight, double pictureWidth, double pictureHeight) {
    CoverPlan plan;
    if (screenWidth <= 0 || screenHeight <= 0 || !(pictureWidth > 0) || !(pictureHeight > 0)) return plan;
    plan.width = 2 * roundedUpQuotient(screenWidth, 2 * coverDivisor);
    plan.height = 2 * roundedUpQuotient(screenHeight, 2 * coverDivisor);
    const double scale = std::max(plan.width / pictureWidth, plan.height / pictureHeight);
    const auto w = static_cast<std::int32_t>(std::ceil(std::min(pictureWidth * scale, 4.0 * plan.width)));
    const auto h = static_cast<std::int32_t>(std::ceil(std::min(pictureHeight * scale, 4.0 * plan.height)));
    plan.picture.left = (plan.width - w) / 2;
    plan.picture.top = (plan.height - h) / 2;
    plan.picture.right = plan.picture.left + w;
    plan.picture.bottom = plan.picture.top + h;
    return plan;
}

void blurPlane(std::uint8_t* plane, std::int32_t width, std::int32_t height, std::int32_t stride, std::int32_t radius,
               int passes) {
    if (width <= 0 || height <= 0 || radius <= 0) return;
    std::vector<std::uint8_t> copy;
    for (int pass = 0; pass < passes; ++pass) {
        for (std::int32_t y = 0; y < height; ++y) boxPass(plane + static_cast<std::ptrdiff_t>(y) * stride, 1, width, radius, copy);
        for (std::int32_t x = 0; x < width; ++x) boxPass(plane + x, stride, height, radius, copy);
    }
}

void paintBackdrop(const SurfaceView& cover, SurfaceView screen, const PixelRect& hole) {
    if (cover.width < 2 || cover.height < 2 || screen.width <= 0 || screen.height <= 0) return;
    const std::int32_t w = cover.width / 2, h = cover.height / 2;
    const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    // Each channel on a plane of its own, each pixel the average of the cover's four below it.
    std::vector<std::uint8_t> planes(3 * count);
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x) {
            const std::uint32_t* top = cover.pixels + static_cast<std::size_t>(2 * y) * cover.width + 2 * x;
            const std::uint32_t* bottom = top + cover.width;
            for (int c = 0; c < 3; ++c) {
                const int shift = 16 - 8 * c;
                const std::uint32_t sum = (top[0] >> shift & 0xFF) + (top[1] >> shift & 0xFF) +
                                          (bottom[0] >> shift & 0xFF) + (bottom[1] >> shift & 0xFF);
                planes[static_cast<std::size_t>(c) * count + static_cast<std::size_t>(y) * w + x] =
                    static_cast<std::uint8_t>((sum + 2) / 4);
            }
        }
    // Three box passes of half the radius come close to a Gaussian that fades out at the radius.
    const double radius = w / radiusDivisor;
    const auto box = std::max<std::int32_t>(1, static_cast<std::int32_t>(radius / 2 + 0.5));
    for (int c = 0; c < 3; ++c) blurPlane(planes.data() + static_cast<std::size_t>(c) * count, w, h, w, box, blurPasses);
    std::vector<std::uint32_t> small(count);
    for (std::size_t i = 0; i < count; ++i) {
        auto dark = [&](int c) { return planes[static_cast<std::size_t>(c) * count + i] * darkening >> 8; };
        small[i] = dark(0) << 16 | dark(1) << 8 | dark(2);
    }

    const std::vector<Tap> columns = taps(screen.width, w), rows = taps(screen.height, h);
    std::vector<std::uint32_t> line(static_cast<std::size_t>(w));
    for (std::int32_t y = 0; y < screen.height; ++y) {
        const Tap row = rows[static_cast<std::size_t>(y)];
        const std::uint32_t* above = small.data() + static_cast<std::size_t>(row.index) * w;
        const std::uint32_t* below = above + (row.index + 1 < h ? w : 0);
        for (std::int32_t x = 0; x < w; ++x) line[static_cast<std::size_t>(x)] = blend(above[x], below[x], row.weight);
        std::uint32_t* target = screen.pixels + static_cast<std::size_t>(y) * screen.width;
        const bool besideHole = y >= hole.top && y < hole.bottom && !hole.empty();
        const std::int32_t skipFrom = besideHole ? std::clamp(hole.left, 0, screen.width) : screen.width;
        const std::int32_t skipTo = besideHole ? std::clamp(hole.right, skipFrom, screen.width) : screen.width;
        for (std::int32_t x = 0; x < screen.width; ++x) {
            if (x == skipFrom) x = skipTo;
            if (x == screen.width) break;
            const Tap column = columns[static_cast<std::size_t>(x)];
            const std::uint32_t left = line[static_cast<std::size_t>(column.index)];
            const std::uint32_t right = line[static_cast<std::size_t>(std::min(column.index + 1, w - 1))];
            target[x] = blend(left, right, column.weight);
        }
    }
}

}  // namespace vellora
