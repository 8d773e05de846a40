#include <gtest/gtest.h>

#include "platform/messages.h"
#include "resources/gbk_text.h"
#include "shell/shell.h"
#include "slideshow/random.h"
#include "support.h"

namespace vellora {
namespace {

const std::string settingsPath = "C:\\WINDOWS\\Tessaview.ini";
constexpr WindowHandle window = 0x1234;

class Controller : public ::testing::Test {
protected:
    void SetUp() override { platform.install(); }
    void writeShow(const std::string& settings, const std::string& list = "a.bmp\n") {
        files().files[settingsPath] = settings;
        files().files["C:\\list.txt"] = list;
        files().files["a.bmp"] = test::encodeBmp(test::patternImage(10, 10));
    }
    MessageResult send(MessageId message, WParam wParam = 0) { return slideshowProc(window, message, wParam, 0); }
    test::MemoryFiles& files() { return platform.memoryFiles(); }
    std::string passedOn(MessageId message, WParam wParam = 0) {
        return "default " + std::to_string(message) + " " + std::to_string(wParam) + " 0";
    }

    test::TestPlatform platform{{1024, 768, 320, 240}};
};

TEST_F(Controller, CreationReadsSettingsCountsMeasuresSeedsAndStartsTheTimer) {
    writeShow("C:\\list.txt\r\n9\r\n10\r\n1", "a.bmp\nb.bmp\n");
    platform.now = 1234567;
    platform.nextTimerValue = 77;
    send(msg::create);
    EXPECT_EQ(platform.log, (test::CallLog{"settimer 1 1", passedOn(msg::create)}));
    const SlideState& s = slideState();
    EXPECT_EQ(s.window, window);
    EXPECT_EQ(s.hdc, &platform.canvas());
    EXPECT_EQ(s.imageListPath, "C:\\list.txt");
    EXPECT_EQ(s.effectIndex, 9);
    EXPECT_EQ(s.delaySeconds, 10);
    EXPECT_EQ(s.randomOrder, 1);
    EXPECT_EQ(s.imageCount, 2);
    EXPECT_EQ(s.screenWidth, 1024);
    EXPECT_EQ(s.screenHeight, 768);
    EXPECT_DOUBLE_EQ(s.pixelsPerMmX, 3.2);
    EXPECT_EQ(s.timerId, 77u);
    EXPECT_EQ(randomState(), 1234567u);
}

TEST_F(Controller, CreationFailuresShowTheirBoxAndStartNothing) {
    struct Case {
        const char* label;
        bool settingsFile;
        std::string box;
    } cases[] = {
        {"no settings file", false, std::string(gbk::cannotOpenSettings) + "|" + settingsPath},
        {"no image list", true, std::string(gbk::cannotOpenImageList) + "|ERROR"},
    };
    for (const Case& c : cases) {
        platform.install();
        platform.log.clear();
        files().files.clear();
        if (c.settingsFile) files().files[settingsPath] = "C:\\missing.txt\r\n3";
        send(msg::create);
        EXPECT_EQ(platform.log, (test::CallLog{"messagebox " + c.box, passedOn(msg::create)})) << c.label;
        EXPECT_EQ(slideState().screenWidth, 0) << c.label << ": nothing measured";
        EXPECT_EQ(randomState(), 1u) << c.label << ": not seeded";
    }
    EXPECT_EQ(slideState().effectIndex, 3) << "the settings already read stay";
}

TEST_F(Controller, FirstTickRearmsWithTheDelayBeforeDrawing) {
    writeShow("C:\\list.txt\r\n1\r\n7\r\n0");
    send(msg::create);
    platform.log.clear();
    send(msg::timer, 1);
    ASSERT_GE(platform.log.size(), 5u);
    EXPECT_EQ(platform.log[0], "killtimer 1");
    EXPECT_EQ(platform.log[1], "settimer 1 7000");
    EXPECT_EQ(platform.log[2], "fill 0 0 0 0") << "the first clear works on the all-zero rectangle";
    EXPECT_EQ(platform.log[3], "pause 1000");
    EXPECT_EQ(platform.log[4].rfind("render ", 0), 0u);
    EXPECT_EQ(platform.log.back(), passedOn(msg::timer, 1));
    EXPECT_EQ(slideState().firstTick, 0);

    platform.log.clear();
    send(msg::timer, 9);  // another timer's tick runs in full too, and leaves the timer alone
    EXPECT_EQ(test::countPrefix(platform.log, "settimer"), 0u);
    EXPECT_EQ(test::countPrefix(platform.log, "render"), 1u);
}

TEST_F(Controller, DelayProductWrapsAt32Bits) {
    struct Case {
        const char* delay;
        std::string period;
    } cases[] = {{"0", "0"}, {"-1", "4294966296"}, {"4294968", "704"}, {"2147483647", "4294966296"}};
    for (const Case& c : cases) {
        platform.install();
        platform.log.clear();
        writeShow(std::string("C:\\list.txt\r\n1\r\n") + c.delay + "\r\n0");
        send(msg::create);
        send(msg::timer);
        EXPECT_EQ(platform.log[3], "settimer 1 " + c.period) << c.delay;
    }
}

TEST_F(Controller, DestructionStopsTheTimerPostsQuitAndIsNotPassedOn) {
    writeShow("C:\\list.txt\r\n1\r\n7\r\n0");
    platform.nextTimerValue = 42;
    send(msg::create);
    platform.log.clear();
    EXPECT_EQ(send(msg::destroy), 0);
    EXPECT_EQ(platform.log, (test::CallLog{"killtimer 42", "quit 0"}));
}

TEST_F(Controller, EveryOtherMessageIsPassedOnUnchanged) {
    shellState().previewMode = 1;  // so that the shell's default handling acts on none of them
    for (MessageId m : {msg::close, msg::paint, msg::keyDown, msg::verifyRequest, msg::setCursor}) {
        platform.log.clear();
        slideshowProc(window, m, 5, -3);
        EXPECT_EQ(platform.log, (test::CallLog{"default " + std::to_string(m) + " 5 -3"}));
    }
}

TEST_F(Controller, TicksDuringTheNotFoundBoxAreSkipped) {
    writeShow("C:\\list.txt\r\n1\r\n5\r\n0", "missing.bmp\n");
    send(msg::create);
    send(msg::timer);
    int nested = 0;
    platform.duringMessageBox = [&] {
        if (++nested < 5) send(msg::timer);
    };
    platform.log.clear();
    send(msg::timer);
    EXPECT_EQ(test::countPrefix(platform.log, "messagebox"), 1u);
    EXPECT_EQ(test::countPrefix(platform.log, "fill"), 1u) << "only the outer tick clears";
    EXPECT_EQ(nested, 1);
    // Once the box is closed, ticks run again.
    platform.duringMessageBox = nullptr;
    send(msg::timer);
    EXPECT_EQ(test::countPrefix(platform.log, "messagebox"), 2u);
}

TEST_F(Controller, AnEffectRowOutsideTheCatalogueRunsTheRandomRow) {
    for (std::int32_t row : {-1, 20, 25, INT32_MIN, INT32_MAX}) EXPECT_EQ(&catalogueRow(row), &effectCatalogue[0]);
    for (std::int32_t row = 0; row < 20; ++row) EXPECT_EQ(&catalogueRow(row), &effectCatalogue[row]);
    writeShow("C:\\list.txt\r\n25\r\n5\r\n0");
    send(msg::create);
    seedRandom(5);
    send(msg::timer);
    EXPECT_EQ(slideState().effectIndex, 25) << "the stored value is kept";
    EXPECT_NE(randomState(), 5u) << "the random row drew its rows";
}

}  // namespace
}  // namespace vellora
