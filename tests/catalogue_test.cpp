#include <gtest/gtest.h>

#include "slideshow/random.h"
#include "support.h"

namespace vellora {
namespace {

TEST(RandomGenerator, FollowsTheLinearCongruentialRule) {
    seedRandom(1);
    EXPECT_EQ(drawRandom(), 41);
    EXPECT_EQ(drawRandom(), 18467);
    EXPECT_EQ(drawRandom(), 6334);
    seedRandom(0xFFFFFFFFu);
    const std::uint32_t expected = 0xFFFFFFFFu * 214013u + 2531011u;
    EXPECT_EQ(drawRandom(), static_cast<std::int32_t>((expected >> 16) & 0x7FFF));
    EXPECT_EQ(randomState(), expected);
}

TEST(StepConversion, TruncatesDoublePrecisionResults) {
    struct Case {
        double ppm;
        std::int32_t four, twelve, one, blindsFour;
    } cases[] = {
        {3.2, 125, 375, 31, 125},  // 64-bit extended intermediates would give 124
        {2.5, 160, 480, 40, 160},
        {1280.0 / 360.0, 112, 337, 28, 112},
        {1e9, 1, 1, 1, 1},  // never 0, or a loop stepping by it would stand still
    };
    for (const Case& c : cases) {
        test::Screen screen;
        slideState().pixelsPerMmX = slideState().pixelsPerMmY = c.ppm;
        EXPECT_EQ(stepX(), c.four) << c.ppm;
        EXPECT_EQ(stepY(), c.four) << c.ppm;
        EXPECT_EQ(step12X(), c.twelve) << c.ppm;
        EXPECT_EQ(step12Y(), c.twelve) << c.ppm;
        EXPECT_EQ(step1X(), c.one) << c.ppm;
        EXPECT_EQ(step1Y(), c.one) << c.ppm;
        EXPECT_EQ(blindsStep4X(), c.blindsFour) << c.ppm;
        EXPECT_EQ(blindsStep4Y(), c.blindsFour) << c.ppm;
    }
}

TEST(RowNone, RevealDrawsOnceAndClearFillsThenWaitsASecond) {
    test::Screen screen;
    screen.place(3200, 1600);
    test::TestPicture picture(test::patternImage(4, 4), 3200, 1600);
    revealNone(picture);
    clearNone();
    EXPECT_EQ(screen.calls(),
              (std::vector<std::string>{"render 461 358 102 51 0 1600 3200 -1600", "fill 461 358 563 409", "pause 1000"}));
}

// The state whose next draw returns r (and leaves bit 31 clear).
std::uint32_t stateBeforeDraw(std::int32_t r) {
    std::uint32_t inverse = 214013u;  // Newton's iteration for the inverse of an odd number mod 2^32
    for (int i = 0; i < 5; ++i) inverse *= 2u - 214013u * inverse;
    return ((static_cast<std::uint32_t>(r) << 16) - 2531011u) * inverse;
}

TEST(RowRandom, ChoosesRowsOneToNineteenWithTheRemainderBias) {
    int chosen[20] = {};
    for (std::int32_t r = 0; r < 32768; ++r) {
        seedRandom(stateBeforeDraw(r));
        ++chosen[randomRow()];
    }
    EXPECT_EQ(chosen[0], 0);
    for (int row = 1; row <= 12; ++row) EXPECT_EQ(chosen[row], 1725) << row;
    for (int row = 13; row <= 19; ++row) EXPECT_EQ(chosen[row], 1724) << row;
}

TEST(RowRandom, DrawsOnceThenRunsTheChosenRowWithTheSamePicture) {
    test::TestPicture picture(test::patternImage(8, 8), 2000, 1500);
    for (std::uint32_t seed = 1; seed < 400; seed += 7) {
        for (bool reveal : {true, false}) {
            test::Screen direct;
            direct.place(2000, 1500);
            seedRandom(seed);
            const EffectEntry& row = effectCatalogue[randomRow()];
            reveal ? row.reveal(picture) : row.clear();
            const std::uint32_t directState = randomState();
            const auto expected = direct.calls();

            test::Screen viaRandom;
            viaRandom.place(2000, 1500);
            seedRandom(seed);
            reveal ? revealRandom(picture) : clearRandom();
            EXPECT_EQ(viaRandom.calls(), expected) << seed;
            EXPECT_EQ(randomState(), directState) << seed;
        }
    }
}

}  // namespace
}  // namespace vellora
