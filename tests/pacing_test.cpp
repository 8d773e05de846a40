// The pacing switch: off, the transitions run as always; on, the sliding and
// growing reveals keep each frame at least 10 ms long by pausing for what the
// frame left of it, and the mosaic draws in 120 batches with a 16 ms pause each.
#include <gtest/gtest.h>

#include "effects/effects.h"
#include "effects/pacing.h"
#include "slideshow/random.h"
#include "support.h"

namespace vellora {
namespace {

using Calls = std::vector<std::string>;

const DeviceMetrics xga{1024, 768, 320, 240};  // 3.2 pixels per millimetre

// A picture whose every drawing call takes `cost` milliseconds of the test clock.
class SlowPicture : public test::TestPicture {
public:
    SlowPicture(test::TestPlatform& platform, std::uint32_t cost)
        : TestPicture(test::patternImage(2, 2), 6250, 3125), platform_(platform), cost_(cost) {}
    void renderTo(Canvas& canvas, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy, std::int32_t xSrc,
                  std::int32_t ySrc, std::int32_t cxSrc, std::int32_t cySrc) const override {
        platform_.ticks += cost_;
        TestPicture::renderTo(canvas, x, y, cx, cy, xSrc, ySrc, cxSrc, cySrc);
    }

private:
    test::TestPlatform& platform_;
    std::uint32_t cost_;
};

// One reveal of a 200 × 100 pixel picture centred on a 1024 × 768 screen at 3.2
// pixels per millimetre (L 412, T 334).
Calls reveal(int row, bool paced, std::uint32_t renderCost = 0, std::uint32_t startTicks = 0) {
    test::Screen screen(xga, false);
    screen.platform.ticks = startTicks;
    setPacedTransitions(paced);
    screen.place(6250, 3125);
    seedRandom(7);
    effectCatalogue[row].reveal(SlowPicture(screen.platform, renderCost));
    setPacedTransitions(false);
    return screen.calls();
}

Calls without(const Calls& calls, const std::string& line) {
    Calls out;
    for (const std::string& c : calls)
        if (c != line) out.push_back(c);
    return out;
}

std::size_t count(const Calls& calls, const std::string& prefix) {
    std::size_t n = 0;
    for (const std::string& c : calls) n += c.rfind(prefix, 0) == 0;
    return n;
}

// Frames counted by hand from the loops' bounds for this geometry.
TEST(Pacing, EachFrameOfTheSlidingAndGrowingRevealsEndsWithTheRestOfTenMilliseconds) {
    struct Case {
        int row;
        std::size_t frames;
    } cases[] = {
        {2, 49},    // widths 4 to 196
        {10, 109},  // y from -100 while below 334, by 4
        {11, 109},
        {12, 153},  // x from -200 while left of 412, by 4
        {13, 153},
        {14, 153},
        {15, 109},
        {18, 26},   // by 24
        {19, 19},
    };
    for (const Case& c : cases) {
        const Calls plain = reveal(c.row, false), paced = reveal(c.row, true);
        EXPECT_EQ(count(plain, "pause"), 0u) << "row " << c.row;
        EXPECT_EQ(count(paced, "pause 10"), c.frames) << "row " << c.row;
        EXPECT_EQ(count(paced, "pause"), c.frames) << "row " << c.row;
        EXPECT_EQ(without(paced, "pause 10"), plain) << "row " << c.row << ": pacing adds pauses only";
        // Every frame starts with a render and ends with its pause, before the full draw.
        for (std::size_t i = 0; i + 1 < paced.size(); ++i)
            if (paced[i] == "pause 10") {
                EXPECT_EQ(paced[i + 1].rfind("render", 0), 0u) << "row " << c.row;
            }
    }
}

TEST(Pacing, AFrameThatTookTimeWaitsOnlyForWhatIsLeft) {
    struct Case {
        int row;
        std::uint32_t renderCost, startTicks;
        const char* pause;  // after every frame, or nothing
    } cases[] = {
        {10, 3, 0, "pause 7"},              // one render a frame
        {14, 3, 0, "pause 4"},              // two halves a frame
        {14, 5, 0, nullptr},                // exactly ten: no pause
        {12, 12, 0, nullptr},               // slower than the pace
        {10, 3, 0xFFFFFFFEu, "pause 7"},    // across the tick count's wrap
        {2, 9, 0xFFFFFFF0u, "pause 1"},
    };
    for (const Case& c : cases) {
        const Calls paced = reveal(c.row, true, c.renderCost, c.startTicks);
        const std::size_t frames = count(reveal(c.row, true), "pause 10");
        if (c.pause) {
            EXPECT_EQ(count(paced, c.pause), frames) << "row " << c.row;
            EXPECT_EQ(count(paced, "pause"), frames) << "row " << c.row;
        } else {
            EXPECT_EQ(count(paced, "pause"), 0u) << "row " << c.row;
        }
    }
}

TEST(Pacing, TheMosaicDrawsIn120BatchesWithSixteenMillisecondPauses) {
    struct Case {
        std::vector<std::int32_t> rect;
        std::size_t cells;
    } cases[] = {
        {{}, 3750},             // 50 × 25 cells, three draws each: batches of 31 or 32
        {{100, 200, 0, 0}, 3},  // fewer cells than batches: most batches are empty
        {{0, 0, 400, 300}, 22500},
    };
    for (const Case& c : cases) {
        test::Screen screen(xga, false);
        screen.place(6250, 3125);
        if (!c.rect.empty()) screen.setRect(c.rect[0], c.rect[1], c.rect[2], c.rect[3]);
        setPacedTransitions(true);
        seedRandom(7);
        revealMosaic(test::TestPicture(test::patternImage(2, 2), 6250, 3125));
        setPacedTransitions(false);
        const std::uint32_t pacedRandom = randomState();
        const Calls calls = screen.calls();

        std::vector<std::size_t> batches;
        std::size_t cells = 0;
        for (const std::string& call : calls) {
            if (call.rfind("render", 0) == 0) ++cells;
            if (call == "pause 16") batches.push_back(cells), cells = 0;
        }
        ASSERT_EQ(batches.size(), 120u);
        EXPECT_EQ(count(calls, "pause"), 120u) << "no yield per cell";
        std::size_t total = 0;
        for (std::size_t b = 0; b < batches.size(); ++b) {
            total += batches[b];
            EXPECT_EQ(total, c.cells * (b + 1) / 120) << "batch " << b;
        }
        EXPECT_EQ(cells, 1u) << "the full draw follows the last pause";

        test::Screen plain(xga, false);
        plain.place(6250, 3125);
        if (!c.rect.empty()) plain.setRect(c.rect[0], c.rect[1], c.rect[2], c.rect[3]);
        seedRandom(7);
        revealMosaic(test::TestPicture(test::patternImage(2, 2), 6250, 3125));
        EXPECT_EQ(randomState(), pacedRandom) << "the same cells, drawn from the same random numbers";
        EXPECT_EQ(without(plain.calls(), "pause 0"), without(calls, "pause 16"));
    }
}

TEST(Pacing, LeavesTheRowsThatPaceThemselvesAndEveryClearAlone) {
    for (int row : {3, 4, 5, 6, 7, 8, 16, 17}) EXPECT_EQ(reveal(row, true), reveal(row, false)) << "row " << row;
    for (int row = 1; row < effectCount; ++row) {
        Calls logs[2];
        for (bool paced : {false, true}) {
            test::Screen screen(xga, false);
            screen.place(6250, 3125);
            setPacedTransitions(paced);
            seedRandom(7);
            effectCatalogue[row].clear();
            setPacedTransitions(false);
            logs[paced] = screen.calls();
        }
        EXPECT_EQ(logs[1], logs[0]) << "clear of row " << row;
    }
}

}  // namespace
}  // namespace vellora
