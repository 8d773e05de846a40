// Properties every transition must keep, over all rows and many geometries.
#include <gtest/gtest.h>

#include <algorithm>

#include "slideshow/random.h"
#include "support.h"

namespace vellora {
namespace {

struct Display {
    std::int32_t width, height;
};
// Odd and even screens; about 3.78 pixels per millimetre, so one picture pixel is
// roughly one screen pixel.
const Display displays[] = {{64, 48}, {65, 47}, {33, 80}, {200, 170}};
// Picture sizes in pixels: empty, one-pixel sides, odd and even, and larger than the screens.
const std::pair<std::int32_t, std::int32_t> pictures[] = {{0, 0},   {1, 1},   {1, 9},   {9, 1},   {7, 3},
                                                          {8, 8},   {21, 13}, {24, 24}, {40, 30}, {64, 48},
                                                          {90, 70}, {100, 20}, {20, 100}, {163, 161}, {250, 30}};

DeviceMetrics metricsFor(const Display& d) {
    return {d.width, d.height, std::max(1, d.width * 254 / 960), std::max(1, d.height * 254 / 960)};
}

// What a reveal may leave outside the picture's rectangle: pixels drawn by a last
// band within this distance of its edges (scans, splits and the enlarge).
std::int32_t allowedSpill(int row) { return row >= 2 && row <= 8 ? 4 : 0; }

TEST(RevealProperty, LeavesExactlyThePictureAndBlackAroundIt) {
    for (const Display& d : displays) {
        for (auto [pw, ph] : pictures) {
            const test::Image image = test::patternImage(pw, ph);
            const test::TestPicture picture(image);

            test::Screen reference(metricsFor(d));
            reference.place(picture.widthHimetric(), picture.heightHimetric());
            fullDraw(picture);
            const test::Image want = reference.platform.canvas().surface();

            for (int row = 0; row < effectCount; ++row) {
                test::Screen screen(metricsFor(d));
                screen.place(picture.widthHimetric(), picture.heightHimetric());
                effectCatalogue[row].reveal(picture);
                const SlideState& s = slideState();
                const test::Image& got = screen.platform.canvas().surface();
                const std::int32_t spill = allowedSpill(row);
                int wrong = 0;
                for (std::int32_t y = 0; y < d.height && wrong < 3; ++y) {
                    for (std::int32_t x = 0; x < d.width && wrong < 3; ++x) {
                        const bool inside = x >= s.drawLeft && x < s.drawLeft + s.drawWidth && y >= s.drawTop &&
                                            y < s.drawTop + s.drawHeight;
                        const bool nearEdge = x >= s.drawLeft - spill && x < s.drawLeft + s.drawWidth + spill &&
                                              y >= s.drawTop - spill && y < s.drawTop + s.drawHeight + spill;
                        if (inside ? got.at(x, y) != want.at(x, y) : (!nearEdge && got.at(x, y) != test::black)) {
                            ADD_FAILURE() << "row " << row << " screen " << d.width << "x" << d.height << " picture "
                                          << pw << "x" << ph << " pixel " << x << "," << y;
                            ++wrong;
                        }
                    }
                }
            }
        }
    }
}

TEST(ClearProperty, LeavesNoPixelOfThePreviousPicture) {
    struct Rect {
        std::int32_t l, t, w, h;
    };
    const Rect rects[] = {
        {0, 0, 0, 0},       {10, 10, 1, 1},    {5, 7, 2, 3},     {20, 20, 7, 5},    {3, 4, 24, 24},
        {10, 12, 81, 81},   {5, 5, 161, 161},  {2, 30, 163, 81}, {7, 50, 100, 11},  {0, 60, 150, 9},
        {4, 3, 99, 98},     {-30, -20, 260, 230}, {-5, 40, 300, 40}, {50, -10, 40, 300}, {11, 0, 13, 200},
        {0, 0, 200, 170},   {17, 23, 82, 82},  {1, 1, 100, 50},  {30, 30, 83, 161},
    };
    const std::uint32_t oldPicture = 0x123456;
    for (const Rect& r : rects) {
        for (int row = 0; row < effectCount; ++row) {
            for (std::uint32_t seed : {1u, 99u}) {
                test::Screen screen(metricsFor({200, 170}));
                screen.setRect(r.l, r.t, r.w, r.h);
                test::TestCanvas& canvas = screen.platform.canvas();
                canvas.paint(r.l, r.t, r.l + r.w, r.t + r.h, oldPicture);
                seedRandom(seed);
                effectCatalogue[row].clear();
                const auto& px = canvas.surface().pixels;
                const auto left = std::count(px.begin(), px.end(), oldPicture);
                EXPECT_EQ(left, 0) << "row " << row << " rect " << r.l << "," << r.t << " " << r.w << "x" << r.h;
            }
        }
    }
}

}  // namespace
}  // namespace vellora
