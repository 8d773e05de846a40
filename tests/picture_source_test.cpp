#include <gtest/gtest.h>

#include "resources/gbk_text.h"
#include "slideshow/random.h"
#include "support.h"

namespace vellora {
namespace {

class PictureSource : public ::testing::Test {
protected:
    void SetUp() override {
        SlideState& s = slideState();
        s.window = 1;
        s.imageListPath = "C:\\list.txt";
        s.effectIndex = 1;
    }
    void addPicture(const std::string& path, std::int32_t w = 4, std::int32_t h = 3) {
        files().files[path] = test::encodeBmp(test::patternImage(w, h));
    }
    void setList(const std::string& bytes) {
        files().files["C:\\list.txt"] = bytes;
        slideState().imageCount = *countImages("C:\\list.txt");
    }
    test::MemoryFiles& files() { return screen.platform.memoryFiles(); }
    std::size_t boxes() { return test::countPrefix(screen.platform.log, "messagebox"); }

    test::Screen screen;
};

TEST_F(PictureSource, CountsEntriesAsTheLineReaderSeesThem) {
    const std::string longLine(300, 'x');
    struct Case {
        std::string bytes;
        std::int32_t count;
    } cases[] = {
        {"", 0},         {"a", 1},          {"a\n", 1},           {"a\r\nb\r\n", 2},
        {"a\n\nb", 3},   {"\n", 1},         {"a\n" + longLine + "\nb\n", 1},
        {std::string(259, 'y') + "\nb", 2},
        // Ctrl-Z ends the text, as the runtime's text streams read it.
        {"a\r\nb\x1a", 2}, {"a\r\nb\r\n\x1a\r\n", 2}, {"a\x1a\nb\nc", 1},
    };
    for (const Case& c : cases) {
        files().files["C:\\list.txt"] = c.bytes;
        EXPECT_EQ(countImages("C:\\list.txt"), c.count) << c.bytes.substr(0, 20);
    }
    EXPECT_EQ(countImages("C:\\missing.txt"), std::nullopt);
}

TEST_F(PictureSource, AnEntryBeforeCtrlZIsReadWithoutIt) {
    setList("a.bmp\r\nb.bmp\x1a");
    slideState().currentIndex = 1;
    EXPECT_EQ(readListEntry(), "b.bmp");
}

TEST_F(PictureSource, AnEmptyMiddleEntryIsSkippedWithinTheSameTick) {
    addPicture("a.bmp");
    addPicture("c.bmp");
    setList("a.bmp\n\nc.bmp");
    std::vector<std::int32_t> shown;
    for (int tick = 0; tick < 4; ++tick) {
        showNextPicture();
        shown.push_back(slideState().currentIndex);
    }
    EXPECT_EQ(shown, (std::vector<std::int32_t>{0, 2, 0, 2}));
    EXPECT_EQ(boxes(), 0u);
}

TEST_F(PictureSource, ALastLineWithoutLineEndIsShown) {
    addPicture("a.bmp");
    addPicture("b.bmp", 8, 6);
    setList("a.bmp\r\nb.bmp");
    showNextPicture();
    showNextPicture();
    EXPECT_EQ(slideState().currentIndex, 1);
    EXPECT_EQ(slideState().pictureWidth, test::himetricFromPixels(8));
}

TEST_F(PictureSource, TheTenthAttemptMaySucceedAndTheEleventhIsNeverMade) {
    std::string list;
    for (int i = 0; i < 9; ++i) list += "missing" + std::to_string(i) + ".bmp\n";
    addPicture("good.bmp");
    files().files["empty.bmp"] = "";
    setList(list + "good.bmp\n" + list + "empty.bmp\ngood.bmp\n");

    showNextPicture();  // entries 0..8 fail, 9 shows
    EXPECT_EQ(slideState().currentIndex, 9);
    EXPECT_EQ(boxes(), 0u);
    EXPECT_EQ(test::countPrefix(screen.platform.log, "render"), 1u);

    showNextPicture();  // entries 10..19 all fail: the box, nothing drawn
    EXPECT_EQ(slideState().currentIndex, 19);
    EXPECT_EQ(screen.platform.log.back(), std::string("messagebox ") + gbk::pictureNotFound + "|INFO");
    EXPECT_EQ(test::countPrefix(screen.platform.log, "render"), 1u);

    showNextPicture();  // the next tick goes on after the last entry tried
    EXPECT_EQ(slideState().currentIndex, 20);
    EXPECT_EQ(test::countPrefix(screen.platform.log, "render"), 2u);
}

TEST_F(PictureSource, AnEmptyListEndsEveryTickWithTheBox) {
    setList("");
    for (std::int32_t order : {0, 1}) {
        slideState().randomOrder = order;
        const std::uint32_t start = randomState();
        showNextPicture();
        EXPECT_EQ(slideState().currentIndex, 0);
        const std::uint32_t after = randomState();
        seedRandom(start);
        for (int i = 0; i < (order == 1 ? 10 : 0); ++i) drawRandom();
        EXPECT_EQ(randomState(), after) << "one draw per attempt in random order, none in list order";
    }
    EXPECT_EQ(boxes(), 2u);
}

TEST_F(PictureSource, RandomOrderTakesOneDrawPerAttempt) {
    addPicture("p.bmp");
    setList("p.bmp\np.bmp\np.bmp\nx\np.bmp\n");
    slideState().randomOrder = 1;
    for (int tick = 0; tick < 50; ++tick) {
        // Replay the generator: the first draw whose entry is not the missing line 3 wins.
        const std::uint32_t start = randomState();
        seedRandom(start);
        std::int32_t want = -1;
        for (int attempt = 0; attempt < 10 && (want == -1 || want == 3); ++attempt) want = drawRandom() % 5;
        const std::uint32_t after = randomState();
        seedRandom(start);
        showNextPicture();
        EXPECT_EQ(slideState().currentIndex, want);
        EXPECT_EQ(randomState(), after);
    }
}

TEST_F(PictureSource, CentresAtNaturalSize) {
    struct Case {
        std::int32_t pictureWidth;
        std::int32_t drawWidth, drawLeft;
    } cases[] = {
        {21167, 677, 173},  // 677.344 pixels at 3.2 per millimetre
        {32094, 1027, -1},  // wider than the screen: halving truncates toward zero
        {32032, 1025, 0},
        {0, 0, 512},
        {2147483647, 68719476, -34359226},
    };
    for (const Case& c : cases) {
        screen.place(c.pictureWidth, 100);
        EXPECT_EQ(slideState().drawWidth, c.drawWidth) << c.pictureWidth;
        EXPECT_EQ(slideState().drawLeft, c.drawLeft) << c.pictureWidth;
    }
    // An absurd size saturates instead of being an undefined conversion.
    slideState().pixelsPerMmX = 1e6;
    screen.place(2147483647, 100);
    EXPECT_EQ(slideState().drawWidth, 2147483647);
    screen.place(-2147483647, 100);
    EXPECT_EQ(slideState().drawWidth, -2147483647 - 1);
}

TEST_F(PictureSource, ReportsBitmapSizesInHimetricAsWindowsDoes) {
    addPicture("p.bmp", 100, 3);
    setList("p.bmp");
    showNextPicture();
    EXPECT_EQ(slideState().pictureWidth, 2646);  // 100 × 2540 / 96 = 2645.83
    EXPECT_EQ(slideState().pictureHeight, 79);   // 79.375
}

}  // namespace
}  // namespace vellora
