// The native program's own decisions that need no display: its command line and
// the text conversion of its message boxes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/linux/command_line.h"
#include "platform/linux/linux_internal.h"
#include "resources/gbk_text.h"

namespace vellora::linux_platform {
namespace {

TEST(CommandLine, FormsAndWindowIds) {
    struct Case {
        std::vector<const char*> args;
        const char* screensaverWindow;
        ShowForm form;
        unsigned long window;
    };
    const std::vector<Case> cases = {
        {{}, nullptr, ShowForm::fullScreen, 0},
        {{"--window-id", "12345"}, nullptr, ShowForm::intoWindow, 12345},
        {{"--window-id", "0x1A00003"}, nullptr, ShowForm::intoWindow, 0x1A00003},
        {{"--window-id", "0XaBc"}, nullptr, ShowForm::intoWindow, 0xABC},
        {{"--window-id", "0xFFFFFFFF"}, nullptr, ShowForm::intoWindow, 0xFFFFFFFFul},
        {{"--root"}, nullptr, ShowForm::root, 0},
        {{"--root"}, "0x400001", ShowForm::root, 0x400001},
        {{"--root"}, "junk", ShowForm::root, 0},
        {{"--root", "--window-id", "77"}, "0x400001", ShowForm::intoWindow, 77},
        {{"--window-id", "77", "--root"}, nullptr, ShowForm::intoWindow, 77},
        {{"--window"}, nullptr, ShowForm::ownWindow, 0},
        {{"--help"}, nullptr, ShowForm::help, 0},
        {{"--root", "--help"}, nullptr, ShowForm::help, 0},
        {{"--window-id"}, nullptr, ShowForm::invalid, 0},
        {{"--window-id", "0"}, nullptr, ShowForm::invalid, 0},
        {{"--window-id", "0x"}, nullptr, ShowForm::invalid, 0},
        {{"--window-id", "12ab"}, nullptr, ShowForm::invalid, 0},
        {{"--window-id", "-5"}, nullptr, ShowForm::invalid, 0},
        {{"--window-id", "0x100000000"}, nullptr, ShowForm::invalid, 0},
        {{"--window-id", "99999999999999999999999"}, nullptr, ShowForm::invalid, 0},
        {{"-root"}, nullptr, ShowForm::invalid, 0},
        {{"/s"}, nullptr, ShowForm::invalid, 0},
    };
    for (const Case& c : cases) {
        std::vector<const char*> argv{"vellora"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const CommandLine got = parseCommandLine(static_cast<int>(argv.size()), argv.data(), c.screensaverWindow);
        std::string text;
        for (const char* a : c.args) text += std::string(a) + " ";
        EXPECT_EQ(static_cast<int>(got.form), static_cast<int>(c.form)) << text;
        EXPECT_EQ(got.window, c.window) << text;
    }
}

TEST(MessageText, GbkBecomesUtf8AndBadBytesBecomeReplacements) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {gbk::cannotOpenSettings, "不能打开配置文件!"},
        {gbk::cannotOpenImageList, "不能打开图像列表文件!"},
        {gbk::pictureNotFound, "找不到图像文件."},
        {"ERROR", "ERROR"},
        {"/home/user/.config/vellora/Tessaview.ini", "/home/user/.config/vellora/Tessaview.ini"},
        {"a\xFF" "b", "a\xEF\xBF\xBD" "b"},
        {"cut \xB2", "cut \xEF\xBF\xBD"},
        {"", ""},
    };
    for (const auto& [gbkText, utf8] : cases) EXPECT_EQ(utf8FromGbk(gbkText), utf8) << utf8;
}

TEST(MessageText, LongTextsConvertWhole) {
    std::string gbkText, utf8;
    for (int i = 0; i < 500; ++i) {
        gbkText += gbk::pictureNotFound;
        utf8 += "找不到图像文件.";
    }
    EXPECT_EQ(utf8FromGbk(gbkText), utf8);
}

}  // namespace
}  // namespace vellora::linux_platform
