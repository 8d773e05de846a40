#include "platform/pixel_drawing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace vellora {
namespace {

constexpr std::uint32_t paper = 0x010203, ink = 0xABCDEF;

struct Surface {
    std::int32_t width, height;
    std::vector<std::uint32_t> pixels;
    Surface(std::int32_t w, std::int32_t h, std::uint32_t colour = paper)
        : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, colour) {}
    SurfaceView view() { return {pixels.data(), width, height}; }
    std::uint32_t at(std::int32_t x, std::int32_t y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// A picture whose pixel (x, y) is 0x100 * y + x + 1.
struct Picture {
    std::int32_t width, height;
    std::vector<std::uint32_t> pixels;
    Picture(std::int32_t w, std::int32_t h) : width(w), height(h) {
        for (std::int32_t y = 0; y < h; ++y)
            for (std::int32_t x = 0; x < w; ++x) pixels.push_back(static_cast<std::uint32_t>(0x100 * y + x + 1));
    }
    SourcePixels source() const {
        return {pixels.data(), width, height, himetricFromPixels(width), himetricFromPixels(height)};
    }
    std::uint32_t at(std::int32_t x, std::int32_t y) const { return static_cast<std::uint32_t>(0x100 * y + x + 1); }
};

TEST(PieRules, WedgesRunCounterClockwiseAndIncludeTheirRadials) {
    // A 20 × 20 circle centred at (10, 10); each point names a pixel and whether it is painted.
    struct Case {
        std::string name;
        std::int32_t x1, y1, x2, y2;
        std::vector<std::tuple<std::int32_t, std::int32_t, bool>> pixels;
    };
    const std::vector<Case> cases = {
        {"east to north is the upper right quarter", 20, 10, 10, 0,
         {{15, 5, true}, {5, 5, false}, {5, 15, false}, {15, 15, false}, {15, 10, true}, {10, 3, true}}},
        {"north to east is the other three quarters", 10, 0, 20, 10,
         {{15, 4, false}, {5, 5, true}, {5, 15, true}, {15, 15, true}}},
        {"west to east through the south is the lower half", 0, 10, 20, 10,
         {{10, 15, true}, {10, 4, false}, {3, 12, true}}},
        {"equal radials make the whole ellipse", 3, 3, 3, 3,
         {{10, 10, true}, {0, 10, true}, {19, 9, true}, {0, 0, false}, {19, 19, false}}},
    };
    for (const Case& c : cases) {
        Surface s(20, 20);
        piePixels(s.view(), 0, 0, 20, 20, c.x1, c.y1, c.x2, c.y2, ink);
        for (const auto& [x, y, painted] : c.pixels)
            EXPECT_EQ(s.at(x, y) == ink, painted) << c.name << " at " << x << "," << y;
    }
}

TEST(PieRules, EmptyOrClippedBoxes) {
    Surface s(10, 10);
    EXPECT_TRUE(piePixels(s.view(), 5, 5, 5, 9, 0, 0, 0, 0, ink).empty());
    EXPECT_TRUE(piePixels(s.view(), 8, 8, 2, 2, 0, 0, 0, 0, ink).empty());
    EXPECT_EQ(std::count(s.pixels.begin(), s.pixels.end(), ink), 0);
    const PixelRect r = piePixels(s.view(), -30, -30, 40, 40, 0, 0, 0, 0, ink);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.right, 10);
    EXPECT_EQ(std::count(s.pixels.begin(), s.pixels.end(), ink), 100);
}

TEST(RenderMapping, SourceRectanglesInHimetricWithYFromTheBottom) {
    const Picture p(4, 2);
    const std::int32_t pw = himetricFromPixels(4), ph = himetricFromPixels(2);
    struct Case {
        std::string name;
        std::int32_t x, y, cx, cy, xSrc, ySrc, cxSrc, cySrc;
        // Expected surface pixel for destination (dx, dy) relative to (x, y): picture (sx, sy), or none.
        std::function<std::pair<std::int32_t, std::int32_t>(std::int32_t, std::int32_t)> source;
    };
    const std::vector<Case> cases = {
        {"a negative height copies top-down", 1, 1, 4, 2, 0, ph, pw, -ph, [](auto dx, auto dy) { return std::pair{dx, dy}; }},
        {"a positive height copies bottom-up", 1, 1, 4, 2, 0, 0, pw, ph, [](auto dx, auto dy) { return std::pair{dx, 1 - dy}; }},
        {"half size takes the pixels under the centres", 0, 0, 2, 1, 0, ph, pw, -ph,
         [](auto dx, auto) { return std::pair{2 * dx + 1, 1}; }},
        {"a band of the right half", 2, 0, 2, 2, pw / 2, ph, pw / 2, -ph, [](auto dx, auto dy) { return std::pair{dx + 2, dy}; }},
        {"a negative width mirrors", 0, 0, 4, 2, pw, ph, -pw, -ph, [](auto dx, auto dy) { return std::pair{3 - dx, dy}; }},
    };
    for (const Case& c : cases) {
        Surface s(6, 4);
        renderPicture(s.view(), p.source(), c.x, c.y, c.cx, c.cy, c.xSrc, c.ySrc, c.cxSrc, c.cySrc);
        for (std::int32_t y = 0; y < s.height; ++y)
            for (std::int32_t x = 0; x < s.width; ++x) {
                const bool inside = x >= c.x && x < c.x + c.cx && y >= c.y && y < c.y + c.cy;
                const auto [sx, sy] = inside ? c.source(x - c.x, y - c.y) : std::pair{-1, -1};
                EXPECT_EQ(s.at(x, y), inside ? p.at(sx, sy) : paper) << c.name << " at " << x << "," << y;
            }
    }
}

TEST(RenderMapping, SourceOutsideThePictureLeavesTheSurfaceAndClippingIsSafe) {
    const Picture p(4, 2);
    const std::int32_t pw = himetricFromPixels(4), ph = himetricFromPixels(2);
    Surface s(6, 4);
    // A band wholly right of the picture, and one reaching below it.
    renderPicture(s.view(), p.source(), 0, 0, 4, 2, pw, ph, pw, -ph);
    renderPicture(s.view(), p.source(), 0, 2, 4, 2, 0, 0, pw, -ph);
    EXPECT_EQ(std::count(s.pixels.begin(), s.pixels.end(), paper), 24);
    // Destinations far outside, or huge, clip without touching memory outside the surface.
    EXPECT_TRUE(renderPicture(s.view(), p.source(), -2147483647, 0, 10, 10, 0, ph, pw, -ph).empty());
    const PixelRect r = renderPicture(s.view(), p.source(), -3, -1, 2147483647, 2147483647, 0, ph, pw, -ph);
    EXPECT_EQ(r.right, 6);
    EXPECT_EQ(r.bottom, 4);
    EXPECT_TRUE(renderPicture(s.view(), p.source(), 0, 0, 0, 5, 0, ph, pw, -ph).empty());
}

TEST(NaturalSize, NinetySixPixelsPerInchRounded) {
    for (auto [pixels, himetric] : std::vector<std::pair<std::int32_t, std::int32_t>>{
             {0, 0}, {1, 26}, {96, 2540}, {320, 8467}, {1920, 50800}, {30000, 793750}, {81164736, 2147483640},
             {81164737, 2147483647}, {90000000, 2147483647}, {2147483647, 2147483647}})
        EXPECT_EQ(himetricFromPixels(pixels), himetric) << pixels;
}

}  // namespace
}  // namespace vellora
