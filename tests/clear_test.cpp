#include <gtest/gtest.h>

#include <functional>
#include <numeric>

#include "effects/effects.h"
#include "slideshow/random.h"
#include "support.h"

namespace vellora {
namespace {

using Calls = std::vector<std::string>;

Calls runClear(ClearFn clear, std::int32_t l, std::int32_t t, std::int32_t w, std::int32_t h) {
    test::Screen screen;  // 1024 × 768
    screen.setRect(l, t, w, h);
    clear();
    return screen.calls();
}

Calls repeat(std::initializer_list<std::string> pattern, int times) {
    Calls out;
    for (int i = 0; i < times; ++i) out.insert(out.end(), pattern);
    return out;
}

TEST(ClearFirstTick, EveryRowCopesWithTheAllZeroRectangle) {
    const Calls zeroRow8 = {"fill 0 -2 0 -1", "fill 0 -1 0 0", "pause 1", "fill 0 -1 0 0", "fill 0 -2 0 -1",
                            "pause 1", "fill 0 0 0 1", "fill 0 -3 0 -2", "pause 1"};
    Calls row10;
    for (int i = 0; i <= 4; ++i) {
        row10.push_back("fill " + std::to_string(-i) + " 0 " + std::to_string(i) + " 0");
        row10.push_back("pause 0");
    }
    row10.insert(row10.end(), {"fill 0 0 0 0", "pause 100"});
    struct Case {
        int row;
        Calls calls;
    } cases[] = {
        {1, {"fill 0 0 0 0", "pause 1000"}},
        {2, {"fill 0 0 0 0"}},
        {3, {"fill 0 -5 0 5"}},
        {4, {"fill 0 0 0 1", "pause 1", "fill 0 0 0 0"}},
        {5, {"fill 0 -5 0 5"}},
        {6, {"fill 0 0 1 0", "pause 1", "fill 0 0 0 0"}},
        {7, {"fill 0 0 1 0", "fill -1 0 0 0", "pause 1"}},
        {8, zeroRow8},
        {9, {"fill 0 0 4 4", "pause 0", "fill 0 0 4 4", "pause 0", "fill 0 0 4 4", "pause 0", "fill 0 0 0 0"}},
        {10, row10},
        {11, {"fill 0 0 8 12", "pause 1", "pause 1"}},
        {12, {}},
        {13, {"select black-brush", "pie -1 -1 1 1 -1 -1 -1 -1", "pause 0"}},
        {14, {}},
        {15, {}},
        {16, repeat({"fill 0 0 0 1", "pause 1"}, 1)},
        {18, {}},
        {19, {}},
    };
    for (const Case& c : cases) {
        seedRandom(1);
        Calls got = runClear(effectCatalogue[c.row].clear, 0, 0, 0, 0);
        if (c.row == 16) got.resize(2);  // 80 steps; the first shows the pattern
        EXPECT_EQ(got, c.calls) << "row " << c.row;
        if (c.row == 9) {
            const std::uint32_t after = randomState();
            seedRandom(1);
            for (int i = 0; i < 6; ++i) drawRandom();
            EXPECT_EQ(after, randomState()) << "row 9 takes six values";
        }
    }
    EXPECT_EQ(runClear(clearBlindsVertical, 0, 0, 0, 0).size(), 160u);
}

TEST(ClearEnlarge, ClosingFrameOfTheWorkedExample) {
    const Calls calls = runClear(clearEnlarge, 462, 354, 100, 60);
    ASSERT_EQ(calls.size(), 24u * 5 + 1);
    EXPECT_EQ(Calls(calls.begin(), calls.begin() + 10),
              (Calls{"fill 462 354 464 414", "fill 560 354 564 414", "fill 462 354 562 355", "fill 462 412 562 414",
                     "pause 10", "fill 464 354 466 414", "fill 558 354 560 414", "fill 462 355 562 356",
                     "fill 462 411 562 412", "pause 10"}));
    EXPECT_EQ(Calls(calls.end() - 6, calls.end()),
              (Calls{"fill 508 354 510 414", "fill 514 354 516 414", "fill 462 382 562 383", "fill 462 385 562 386",
                     "pause 10", "fill 462 354 562 414"}));
    for (std::int32_t w : {5, 6, 7}) {
        const Calls one = runClear(clearEnlarge, 100, 100, w, 20);
        ASSERT_EQ(one.size(), 6u) << w;
        EXPECT_EQ(one[2], "fill 100 100 " + std::to_string(100 + w) + " 384") << "top strip reaches the middle row";
        EXPECT_EQ(one[3], "fill 100 384 " + std::to_string(100 + w) + " 120");
    }
}

TEST(ClearMoveDown, GrowingRectangleOfTheWorkedExampleThenTheClosingFill) {
    const Calls calls = runClear(clearMoveDown, 462, 354, 100, 60);
    ASSERT_EQ(calls.size(), 55u * 2 + 2);
    EXPECT_EQ(calls[0], "fill 512 384 512 384");
    EXPECT_EQ(calls[108], "fill 458 352 566 416");
    EXPECT_EQ(calls[110], "fill 462 354 562 414");
    EXPECT_EQ(calls[111], "pause 100");
}

TEST(ClearMoveUp, CombOfTheWorkedExample) {
    const Calls calls = runClear(clearMoveUp, 462, 354, 100, 60);
    EXPECT_EQ(calls.size(), 6u * 8 + 9u * 7);
    EXPECT_EQ(calls[0], "fill 462 354 470 366");
    EXPECT_EQ(calls[48], "fill 470 410 478 418");
    EXPECT_EQ(calls[calls.size() - 7], "fill 470 346 478 354");
    EXPECT_EQ(runClear(clearMoveUp, 0, 0, 8, 20),
              (Calls{"fill 0 0 8 12", "pause 1", "fill 0 12 8 24", "pause 1", "pause 1", "pause 1", "pause 1", "pause 1"}))
        << "one stripe: the upward phase only pauses";
}

TEST(ClearMoveRight, SpiralOfTheWorkedExampleThenTheClosingFill) {
    const Calls calls = runClear(clearMoveRight, 462, 354, 100, 60);
    EXPECT_EQ(calls, (Calls{"fill 462 354 486 394", "pause 1", "fill 486 354 510 394", "pause 1",
                            "fill 510 354 534 394", "pause 1", "fill 534 354 558 394", "pause 1",
                            "fill 558 354 582 394", "pause 1", "fill 522 394 562 418", "pause 1",
                            "fill 498 374 522 414", "pause 1", "fill 474 374 498 414", "pause 1",
                            "fill 450 374 474 414", "pause 1", "fill 462 354 562 414"}));
    auto laps = [](std::int32_t side) {
        const Calls c = runClear(clearMoveRight, 0, 0, 300, side);
        return std::count(c.begin(), c.end(), "fill 40 40 64 80");  // the second lap's first tile
    };
    EXPECT_EQ(laps(81), 0);
    EXPECT_EQ(laps(82), 1);
}

TEST(ClearMoveLeft, DiscsGrowPastHalfTheDiagonal) {
    const Calls calls = runClear(clearMoveLeft, 100, 100, 100, 50);
    ASSERT_EQ(calls.size(), 1u + 71 * 2);
    EXPECT_EQ(calls[0], "select black-brush");
    EXPECT_EQ(calls[calls.size() - 2], "pie 79 54 221 196 79 54 79 54");
}

TEST(ClearBarsHorizontal, AlternatingBarsOfTheWorkedExample) {
    const Calls calls = runClear(clearBarsHorizontal, 462, 354, 100, 60);
    ASSERT_EQ(calls.size(), 34u * 6);
    EXPECT_EQ(Calls(calls.begin(), calls.begin() + 6),
              (Calls{"fill 462 354 465 366", "fill 462 378 465 390", "fill 462 402 465 414", "fill 559 366 562 378",
                     "fill 559 390 562 402", "pause 1"}));
    EXPECT_EQ(calls[calls.size() - 6], "fill 561 354 564 366");
    EXPECT_EQ(calls[calls.size() - 3], "fill 460 366 463 378");
}

TEST(ClearSweeps, ASweepOfOnePixelMakesOneThreePixelStep) {
    EXPECT_EQ(runClear(clearCrossHorizontal, 10, 10, 1, 6), (Calls{"fill 10 10 13 13", "fill 8 13 11 16", "pause 1"}));
    EXPECT_EQ(runClear(clearCrossVertical, 10, 10, 6, 1), (Calls{"fill 10 10 13 13", "fill 13 8 16 11", "pause 1"}));
    EXPECT_EQ(runClear(clearBarsHorizontal, 10, 10, 1, 12), (Calls{"fill 10 10 13 22", "pause 1"}));
    EXPECT_EQ(runClear(clearBarsVertical, 10, 10, 12, 1), (Calls{"fill 10 10 22 13", "pause 1"}));
}

TEST(ClearLineWipes, PicturesLargerThanTheScreen) {
    const Calls tall = runClear(clearScanDown, 0, -100, 50, 1000);
    EXPECT_EQ(tall.size(), 2u * 899 + 1) << "the wipe stops at screen row 1";
    EXPECT_EQ(tall.back(), "fill 0 -105 50 905");
    const Calls wide = runClear(clearScanLeft, -100, 0, 1300, 10);
    EXPECT_EQ(wide.size(), 2u * 1301 + 1) << "every column, off screen too";
}

TEST(ClearPauses, CountsOfThePerformanceTables) {
    struct Rect {
        std::int32_t l, t, w, h;
    } rects[] = {{462, 354, 100, 60}, {0, 0, 0, 0}, {10, 20, 1, 1}, {5, 3, 81, 163}, {-20, -10, 1100, 7}};
    using Count = std::function<std::size_t(const Rect&)>;
    auto positive = [](std::int32_t v) { return static_cast<std::size_t>(v > 0 ? v : 0); };
    const std::pair<int, Count> rows[] = {
        {2, [&](const Rect& r) { return positive((r.w - 1) / 4); }},
        {3, [&](const Rect& r) { return positive(r.t + r.h - 1); }},
        {4, [&](const Rect& r) { return positive(r.h + 1); }},
        {5, [&](const Rect& r) { return positive(r.w - 1); }},
        {6, [&](const Rect& r) { return positive(r.w + 1); }},
        {7, [&](const Rect& r) { return positive(r.w / 2 + 1); }},
        {8, [&](const Rect& r) { return positive(r.h / 2 + 3); }},
        {9, [&](const Rect& r) { return positive(3 * ((r.w - 1) / 4 + 1) * ((r.h - 1) / 4 + 1)); }},
        {10, [&](const Rect& r) { return positive(r.w / 2 + 5) + 1; }},
        {11, [&](const Rect& r) { return positive(r.h / 12 + 1) + positive((r.h + 4) / 8 + 1); }},
        {14, [&](const Rect& r) { return positive((r.w + 2) / 3); }},
        {15, [&](const Rect& r) { return positive((r.h + 2) / 3); }},
        {16, [&](const Rect&) { return std::size_t{80}; }},
        {17, [&](const Rect&) { return std::size_t{80}; }},
        {18, [&](const Rect& r) { return positive((r.w + 2) / 3); }},
        {19, [&](const Rect& r) { return positive((r.h + 2) / 3); }},
    };
    for (const Rect& r : rects) {
        for (const auto& [row, count] : rows) {
            const Calls calls = runClear(effectCatalogue[row].clear, r.l, r.t, r.w, r.h);
            EXPECT_EQ(test::countPrefix(calls, "pause"), count(r)) << "row " << row << " rect " << r.w << "x" << r.h;
        }
    }
}

}  // namespace
}  // namespace vellora
