#include <gtest/gtest.h>

#include <sstream>

#include "effects/effects.h"
#include "slideshow/random.h"
#include "support.h"

namespace vellora {
namespace {

using Calls = std::vector<std::string>;

Calls only(const Calls& calls, const std::string& prefix) {
    Calls out;
    for (const std::string& c : calls)
        if (c.rfind(prefix, 0) == 0) out.push_back(c);
    return out;
}

// Runs a reveal on a screen with the picture centred from its HIMETRIC size,
// or placed at `rect` when one is given.
struct RevealRun {
    RevealRun(RevealFn reveal, DeviceMetrics metrics, std::int32_t pw, std::int32_t ph,
              std::vector<std::int32_t> rect = {})
        : screen(metrics) {
        screen.place(pw, ph);
        if (!rect.empty()) screen.setRect(rect[0], rect[1], rect[2], rect[3]);
        test::TestPicture picture(test::patternImage(2, 2), pw, ph);
        reveal(picture);
        calls = screen.calls();
        renders = only(calls, "render");
    }
    test::Screen screen;
    Calls calls;
    Calls renders;
};

const DeviceMetrics xga{1024, 768, 320, 240};  // 3.2 pixels per millimetre

TEST(RevealEnlarge, StepsGrowByFourPixelsWithHeightsFromRepeatedAddition) {
    struct Case {
        std::int32_t w, h;
        Calls renders;
    } cases[] = {
        {4, 10, {"render 510 379 4 10 0 100 100 -100"}},
        {9, 10, {"render 510 381 4 5 0 100 100 -100", "render 508 379 8 10 0 100 100 -100",
                 "render 507 379 9 10 0 100 100 -100"}},
        {12, 10, {"render 510 382 4 3 0 100 100 -100", "render 508 381 8 6 0 100 100 -100",
                  "render 506 379 12 10 0 100 100 -100"}},
    };
    for (const Case& c : cases) {
        RevealRun run(revealEnlarge, xga, 100, 100, {(1024 - c.w) / 2, (768 - c.h) / 2, c.w, c.h});
        EXPECT_EQ(run.calls, c.renders) << c.w << " wide: no pauses, full draw last";
    }
}

TEST(RevealScans, BandCountsFollowTheTruncatedStep) {
    struct Case {
        RevealFn reveal;
        DeviceMetrics metrics;
        std::int32_t pw, ph;
        std::size_t bands;
    } cases[] = {
        {revealScanRight, xga, 2500, 1000, 20},
        {revealScanLeft, xga, 2500, 1000, 19},  // the leftmost band comes with the full draw
        {revealScanDown, {1280, 1024, 360, 288}, 1000, 20000, 178},
        {revealScanUp, {1280, 1024, 360, 288}, 1000, 20000, 178},
        {revealScanDown, xga, 1000, 124, 0},  // smaller than one step: only the full draw
        {revealScanUp, xga, 1000, 124, 0},
        {revealScanRight, xga, 124, 1000, 0},
        {revealScanLeft, xga, 125, 1000, 0},
    };
    for (const Case& c : cases) {
        RevealRun run(c.reveal, c.metrics, c.pw, c.ph);
        EXPECT_EQ(run.renders.size(), c.bands + 1);
        EXPECT_EQ(only(run.calls, "pause").size(), c.bands);
        for (std::size_t i = 0; i + 1 < run.calls.size(); i += 2) EXPECT_EQ(run.calls[i + 1], "pause 10");
    }
}

TEST(RevealScans, TheLastDownwardBandReachesOneRowBelowThePicture) {
    RevealRun run(revealScanDown, {1280, 1024, 360, 288}, 1000, 20000);
    const SlideState& s = slideState();
    EXPECT_EQ(s.drawHeight, 711);
    EXPECT_EQ(run.renders[177], "render " + std::to_string(s.drawLeft) + " " + std::to_string(s.drawTop + 708) + " " +
                                    std::to_string(s.drawWidth) + " 4 0 176 1000 -112");
}

TEST(RevealSplits, StepCounts) {
    RevealRun none(revealSplitHorizontal, xga, 250, 1000);  // PW / 2 = stepX
    EXPECT_EQ(none.renders.size(), 1u);
    RevealRun some(revealSplitHorizontal, xga, 1000, 1000);  // leftSrc 375, 250, 125
    EXPECT_EQ(some.renders.size(), 7u);
    EXPECT_EQ(some.calls[0], "pause 10") << "the pause comes before each pair";
    RevealRun tiny(revealSplitVertical, xga, 1000, 1);
    EXPECT_EQ(tiny.renders.size(), 3u) << "row 8 always makes a step for a positive height";
    EXPECT_EQ(tiny.calls[1], "render 496 380 32 4 0 125 1000 -125");
    EXPECT_EQ(tiny.calls[2], "render 496 384 32 4 0 0 1000 -125");
}

TEST(RevealMosaic, DrawsThreeCellsPerGridCellColumnFirstThenBlanksTwoStrips) {
    struct Case {
        std::int32_t w, h;
        std::size_t cells;
    } cases[] = {{0, 0, 3}, {8, 8, 12}, {9, 5, 18}};
    for (const Case& c : cases) {
        seedRandom(1);
        RevealRun run(revealMosaic, xga, 1000, 1000, {100, 200, c.w, c.h});
        EXPECT_EQ(run.renders.size(), c.cells + 1);
        EXPECT_EQ(only(run.calls, "pause 0").size(), c.cells);
        seedRandom(1);
        const std::int32_t cols = (c.w - 1) / 4 + 1, rows = (c.h - 1) / 4 + 1;
        const std::int32_t col = drawRandom() % cols, row = drawRandom() % rows;
        EXPECT_EQ(run.renders[0], "render " + std::to_string(100 + 4 * col) + " " + std::to_string(200 + 4 * row) +
                                      " 4 4 " + std::to_string(col * 125) + " " + std::to_string(1000 - row * 125) +
                                      " 125 -125");
        for (std::size_t i = 2; i < 2 * c.cells; ++i) drawRandom();
        EXPECT_EQ(randomState(), [&] {
            seedRandom(1);
            for (std::size_t i = 0; i < 2 * c.cells; ++i) drawRandom();
            return randomState();
        }());
        const std::int32_t r = 100 + c.w, b = 200 + c.h;
        EXPECT_EQ(run.calls[run.calls.size() - 2], "fill " + std::to_string(r) + " 200 " + std::to_string(r + 10) +
                                                       " " + std::to_string(b + 10));
        EXPECT_EQ(run.calls.back(), "fill 100 " + std::to_string(b) + " " + std::to_string(r + 10) + " " +
                                        std::to_string(b + 10));
    }
}

TEST(RevealMoves, StartOffScreenAndDoubleTheStepForLargePictures) {
    struct Case {
        RevealFn reveal;
        std::int32_t w, h;
        const char* first;
        std::int32_t step;  // difference between the first two frames
        bool horizontal;
    } cases[] = {
        {revealMoveDown, 512, 100, "render 256 -100 512 100", 4, false},
        {revealMoveDown, 513, 100, "render 255 -100 513 100", 8, false},
        {revealMoveUp, 100, 100, "render 462 768 100 100", -4, false},
        {revealMoveRight, 100, 384, "render -100 192 100 384", 4, true},
        {revealMoveRight, 100, 385, "render -100 191 100 385", 8, true},
        {revealMoveLeft, 100, 385, "render 1024 191 100 385", -8, true},
    };
    for (const Case& c : cases) {
        RevealRun run(c.reveal, xga, 1000, 1000, {(1024 - c.w) / 2, (768 - c.h) / 2, c.w, c.h});
        EXPECT_EQ(run.calls[0].rfind(c.first, 0), 0u) << c.first;
        EXPECT_EQ(run.calls[1].rfind("render", 0), 0u) << "no trail fill while the trail is empty";
        auto coordinate = [&](const std::string& render) {
            std::istringstream in(render.substr(7));
            std::int32_t x, y;
            in >> x >> y;
            return c.horizontal ? x : y;
        };
        EXPECT_EQ(coordinate(run.calls[1]) - coordinate(run.calls[0]), c.step) << c.first;
    }
}

TEST(RevealMoves, APictureTallerThanTheScreenStopsAtItsNegativeTop) {
    RevealRun run(revealMoveDown, xga, 1000, 1000, {412, -100, 200, 968});
    EXPECT_EQ(only(run.calls, "fill"), (Calls{"fill 412 0 612 -100"}));
    EXPECT_EQ(run.renders.size(), (968 - 100 + 3) / 4 + 1);
}

TEST(RevealCrosses, HalvesOfAnOddHeightLeaveTheLastRowToTheFullDraw) {
    RevealRun run(revealCrossHorizontal, xga, 1000, 900, {462, 379, 100, 9});
    EXPECT_EQ(run.calls[0], "render -100 379 100 4 0 900 1000 -450");
    EXPECT_EQ(run.calls[1], "render 1024 383 100 4 0 450 1000 -450");
    EXPECT_EQ(run.calls.back(), "fill 562 382 1024 388");
}

TEST(RevealBlinds, AlwaysEightyStepsWithOneSlatPerEightyPixels) {
    for (auto [h, slats] : {std::pair{80, 1}, std::pair{81, 2}, std::pair{1, 1}}) {
        RevealRun run(revealBlindsHorizontal, xga, 1000, 1000, {0, 0, 50, h});
        EXPECT_EQ(only(run.calls, "pause 1").size(), 80u);
        // The last pixel row of the picture is left to the full draw.
        std::size_t drawn = 0;
        for (std::int32_t i = 0; i < 80; ++i)
            for (std::int32_t j = 0; j < slats; ++j) drawn += 80 * j + i + 1 < h;
        EXPECT_EQ(run.renders.size(), drawn + 1) << h;
    }
}

TEST(RevealBars, OnlyBarsEndingInsideThePictureSlide) {
    RevealRun run(revealBarsHorizontal, xga, 1000, 1000, {462, 372, 100, 24});
    for (std::size_t i = 0; i + 1 < run.renders.size(); ++i)
        EXPECT_NE(run.renders[i].find(" 372 100 12 0 1000 1000 -375"), std::string::npos) << "only bar 0 slides";
}

TEST(RevealBars, HorizontalBarsNeedBothSidesLargeToDoubleTheirStep) {
    // Wider than half the screen but not higher than half of it.
    RevealRun horizontal(revealBarsHorizontal, xga, 1000, 1000, {200, 300, 600, 100});
    RevealRun vertical(revealBarsVertical, xga, 1000, 1000, {200, 300, 600, 100});
    EXPECT_EQ(horizontal.renders[0].substr(0, 12), "render -600 ");
    EXPECT_NE(std::find(horizontal.renders.begin(), horizontal.renders.end(),
                        "render -576 300 600 12 0 1000 1000 -375"),
              horizontal.renders.end());
    EXPECT_EQ(vertical.renders[0], "render 200 -100 12 100 0 1000 375 -1000");
    EXPECT_NE(std::find(vertical.renders.begin(), vertical.renders.end(), "render 200 -52 12 100 0 1000 375 -1000"),
              vertical.renders.end());
}

}  // namespace
}  // namespace vellora
