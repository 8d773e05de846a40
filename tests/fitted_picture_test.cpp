// Fitting large pictures to the display: the size the picture source then places,
// the source rectangles the real picture receives, and every row drawing a fitted
// picture whole and centred and clearing it again.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "slideshow/fitted_picture.h"
#include "slideshow/random.h"
#include "support.h"

namespace vellora {
namespace {

std::int32_t placed(std::int32_t himetric, double ppm) {
    return static_cast<std::int32_t>(static_cast<double>(himetric) * ppm * 0.01);
}

TEST(FittedSize, FillsTheLimitingSideAndKeepsProportionsToThePixel) {
    struct Case {
        FitDisplay display;
        HimetricSize picture;
    } cases[] = {
        {{1024, 768, 3.2, 3.2}, {105833, 79375}},           // 4000 × 3000 pixels at 96 per inch
        {{1024, 768, 3.2, 3.2}, {79375, 105833}},           // the same, upright
        {{1024, 768, 3.2, 3.2}, {105833, 1000}},            // a panorama
        {{1024, 768, 3.2, 3.2}, {32032, 100}},              // one pixel too wide
        {{1280, 1024, 1280.0 / 360, 1024.0 / 288}, {2147483647, 2147483647}},
        {{1280, 1024, 1280.0 / 360, 1024.0 / 288}, {2147483647, 1}},  // a sliver keeps a pixel
        {{1366, 768, 1366.0 / 344, 768.0 / 193}, {50000, 90000}},
        {{800, 600, 2.5, 2.5}, {33333, 24001}},
        {{333, 1000, 96 / 25.4, 96 / 25.4}, {20000, 30000}},
    };
    for (const Case& c : cases) {
        const FitDisplay& d = c.display;
        const std::optional<HimetricSize> size = fittedSize(c.picture, d);
        ASSERT_TRUE(size) << c.picture.width << " x " << c.picture.height;
        const std::int32_t w = placed(size->width, d.pixelsPerMmX), h = placed(size->height, d.pixelsPerMmY);
        EXPECT_LE(w, d.width);
        EXPECT_LE(h, d.height);
        EXPECT_TRUE(w == d.width || h == d.height) << w << " x " << h;
        EXPECT_GE(h, 1);
        const double naturalW = c.picture.width * d.pixelsPerMmX * 0.01, naturalH = c.picture.height * d.pixelsPerMmY * 0.01;
        if (w == d.width)
            EXPECT_LE(std::abs(h - naturalH * w / naturalW), 1.0) << w << " x " << h;
        else
            EXPECT_LE(std::abs(w - naturalW * h / naturalH), 1.0) << w << " x " << h;
        EXPECT_EQ(placed(size->width - 1, d.pixelsPerMmX), w - 1) << "the smallest size that gives the pixels";
    }
}

TEST(FittedSize, LeavesAloneWhatFitsOrCannotBeFitted) {
    const FitDisplay xga{1024, 768, 3.2, 3.2};
    struct Case {
        FitDisplay display;
        HimetricSize picture;
    } cases[] = {
        {xga, {32000, 24000}},  // exactly the screen
        {xga, {32031, 24031}},  // still 1024 × 768 after truncation
        {xga, {100, 100}},
        {xga, {0, 50000}},
        {xga, {50000, -1}},
        {{0, 768, 3.2, 3.2}, {50000, 50000}},
        {{1024, 768, 0.0, 3.2}, {50000, 50000}},
        {{1024, 768, 3.2, std::nan("")}, {50000, 50000}},
    };
    for (const Case& c : cases) EXPECT_FALSE(fittedSize(c.picture, c.display)) << c.picture.width;
}

TEST(FittedPicture, MapsEachSourceEdgeIntoTheRealPicture) {
    // Shown at a quarter of its size: 40000 × 30000 real units become 10000 × 7500.
    const FitDisplay display{1000, 750, 10.0, 10.0};
    struct Case {
        std::int32_t xSrc, ySrc, cxSrc, cySrc;
        const char* real;
    } cases[] = {
        {0, 7500, 10000, -7500, "render 1 2 3 4 0 30000 40000 -30000"},  // the whole picture
        {0, 7500, 10000, -40, "render 1 2 3 4 0 30000 40000 -160"},       // the top band
        {2501, 0, 3, 7500, "render 1 2 3 4 10004 0 12 30000"},
        {9990, 10, 20, -20, "render 1 2 3 4 39960 40 80 -80"},             // reaching beyond the edges
        {-5, -5, 1, 1, "render 1 2 3 4 -20 -20 4 4"},
        {2147483647, -2147483647 - 1, 2147483647, -1, "render 1 2 3 4 2147483647 -2147483648 0 0"},
    };
    for (const Case& c : cases) {
        test::Screen screen;
        auto real = std::make_unique<test::TestPicture>(test::patternImage(4, 3), 40000, 30000);
        std::unique_ptr<Picture> shown = fitToDisplay(std::move(real), display);
        ASSERT_EQ(shown->widthHimetric(), 10000);
        ASSERT_EQ(shown->heightHimetric(), 7500);
        renderPart(*shown, 1, 2, 3, 4, c.xSrc, c.ySrc, c.cxSrc, c.cySrc);
        EXPECT_EQ(screen.calls(), std::vector<std::string>{c.real});
    }
}

// Hands out one large picture, whatever the path, as a platform's loader would.
class LargePictureLoader : public PictureLoader {
public:
    LargePictureLoader(test::Image image, std::int32_t widthPixels, std::int32_t heightPixels)
        : image_(std::move(image)), width_(widthPixels), height_(heightPixels) {}
    std::unique_ptr<Picture> loadPictureFile(const std::string&) override {
        return std::make_unique<test::TestPicture>(image_, test::himetricFromPixels(width_),
                                                   test::himetricFromPixels(height_));
    }

private:
    test::Image image_;
    std::int32_t width_, height_;
};

struct PatternPixel {
    std::int32_t x, y;
};
PatternPixel patternPixel(std::uint32_t colour) {
    return {std::int32_t(colour >> 11 & 0x7FF), std::int32_t(colour & 0x7FF)};
}

// Counts the pixels of the surface inside the picture's rectangle that do not show
// the part of the picture that belongs there (within one picture pixel and a half,
// what nearest-neighbour sampling at either scale can shift), and those outside it
// that are not black.
int misplacedPixels(const test::Image& surface, const test::Image& picture) {
    const double tolerance = 1.5;
    const SlideState& s = slideState();
    int wrong = 0;
    for (std::int32_t y = 0; y < surface.height; ++y)
        for (std::int32_t x = 0; x < surface.width; ++x) {
            const std::uint32_t colour = surface.at(x, y);
            const bool inside = x >= s.drawLeft && x < s.drawLeft + s.drawWidth && y >= s.drawTop &&
                                y < s.drawTop + s.drawHeight;
            if (!inside || colour == test::black) {
                wrong += inside || colour != test::black;
                continue;
            }
            const double wantX = (x - s.drawLeft + 0.5) * picture.width / s.drawWidth;
            const double wantY = (y - s.drawTop + 0.5) * picture.height / s.drawHeight;
            const PatternPixel got = patternPixel(colour);
            wrong += std::abs(got.x + 0.5 - wantX) > tolerance || std::abs(got.y + 0.5 - wantY) > tolerance;
        }
    return wrong;
}

// A 4000 × 3000 picture, the same upright, and a column of 90 million pixels
// (within the pixel cap, and longer than a 32-bit HIMETRIC size), through the
// fitting loader on a 1024 × 768 screen, every row: after the reveal the whole
// picture stands centred and shrunk, and after the clear nothing is left. The
// picture's pixels are fewer than its natural size says, to keep the test quick;
// its HIMETRIC size is that of its natural pixels at 96 per inch.
TEST(FittingLoader, EveryRowShowsALargePictureWholeAndCentredAndClearsIt) {
    struct Case {
        std::int32_t width, height;  // natural pixels
        std::int32_t imageWidth, imageHeight;
        std::int32_t drawLeft, drawTop, drawWidth, drawHeight;
        bool clear;  // the clears do not depend on the picture; once is enough
    } cases[] = {
        {4000, 3000, 1000, 750, 0, 0, 1024, 768, true},
        {3000, 4000, 750, 1000, 224, 0, 576, 768, false},
        {1, 90'000'000, 1, 2000, 511, 0, 1, 768, false},
    };
    for (const Case& c : cases) {
        const test::Image image = test::patternImage(c.imageWidth, c.imageHeight);
        LargePictureLoader large(image, c.width, c.height);
        FittingLoader fitting(large);
        for (int row = 0; row < effectCount; ++row) {
            test::Screen screen;
            const std::unique_ptr<Picture> picture = fitting.loadPictureFile("big.bmp");
            screen.place(picture->widthHimetric(), picture->heightHimetric());
            const SlideState& s = slideState();
            EXPECT_EQ(std::vector<std::int32_t>({s.drawLeft, s.drawTop, s.drawWidth, s.drawHeight}),
                      std::vector<std::int32_t>({c.drawLeft, c.drawTop, c.drawWidth, c.drawHeight}));
            seedRandom(3);
            catalogueRow(row).reveal(*picture);
            const test::Image& surface = screen.platform.canvas().surface();
            EXPECT_EQ(misplacedPixels(surface, image), 0) << "row " << row << " after the reveal";
            if (!c.clear) continue;

            catalogueRow(row).clear();
            std::size_t lit = 0;
            for (std::uint32_t pixel : surface.pixels) lit += pixel != test::black;
            EXPECT_EQ(lit, 0u) << "row " << row << " after the clear";
        }
    }
}

}  // namespace
}  // namespace vellora
