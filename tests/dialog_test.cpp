#include <gtest/gtest.h>

#include "dialog/settings_dialog.h"
#include "resources/gbk_text.h"
#include "support.h"

namespace vellora {
namespace {

const std::string settingsPath = "C:\\WINDOWS\\Tessaview.ini";
constexpr WindowHandle dialogWindow = 0x77;

class SettingsDialog : public ::testing::Test {
protected:
    void SetUp() override { platform.install(); }
    std::intptr_t send(MessageId message, WParam wParam = 0) {
        return settingsDialogProc(dialogWindow, message, wParam, 0);
    }
    void open(const std::string& settings) {
        files().files[settingsPath] = settings;
        EXPECT_EQ(send(wmInitDialog), 0) << "no initial focus is set";
    }
    std::string saved() { return files().files.at(settingsPath); }
    test::MemoryFiles& files() { return platform.memoryFiles(); }
    test::TestDialog& ui() { return platform.dialog; }
    test::TestPlatform platform;
};

TEST_F(SettingsDialog, ShowsTheFileAndTheTwentyRows) {
    open("C:\\my pictures\\list.txt\r\n9\r\n-10\r\n7");
    ASSERT_EQ(ui().combo[idEffect].size(), 20u);
    for (int row = 0; row < 20; ++row) EXPECT_EQ(ui().combo[idEffect][row], gbk::effectNames[row]);
    EXPECT_EQ(ui().selection[idEffect], 9);
    EXPECT_EQ(ui().text[idImageList], "C:\\my pictures\\list.txt");
    EXPECT_EQ(ui().text[idDelay], "-10");
    EXPECT_EQ(ui().checked[idRandom], 7u) << "handed to the check box unchanged";
    EXPECT_FALSE(ui().ended);
}

TEST_F(SettingsDialog, OkSavesWhatTheControlsHold) {
    struct Case {
        const char* label;
        std::string file;
        std::function<void(test::TestDialog&)> edit;
        std::string saved;
    } cases[] = {
        {"unchanged", "C:\\l.txt\r\n3\r\n5\r\n1", [](test::TestDialog&) {}, "C:\\l.txt\r\n3\r\n5\r\n1"},
        {"row 25 selects nothing and saves -1", "C:\\l.txt\n25\n5\n0", [](test::TestDialog&) {},
         "C:\\l.txt\r\n-1\r\n5\r\n0"},
        {"empty delay saves 0", "C:\\l.txt\n1\n5\n0", [](test::TestDialog& d) { d.text[idDelay] = ""; },
         "C:\\l.txt\r\n1\r\n0\r\n0"},
        {"edited", "C:\\l.txt\n1\n5\n0",
         [](test::TestDialog& d) {
             d.text[idImageList] = "D:\\p.txt";
             d.selection[idEffect] = 19;
             d.text[idDelay] = "30";
             d.checked[idRandom] = 1;
         },
         "D:\\p.txt\r\n19\r\n30\r\n1"},
    };
    for (const Case& c : cases) {
        platform.install();
        platform.log.clear();
        open(c.file);
        c.edit(ui());
        EXPECT_EQ(send(wmCommand, idOk), 1) << c.label;
        EXPECT_EQ(saved(), c.saved) << c.label;
        EXPECT_EQ(platform.log.back(), "enddialog 1") << c.label;
    }
}

TEST_F(SettingsDialog, CancelChangesNothing) {
    open("C:\\l.txt\n4\n5\n0");
    ui().text[idDelay] = "99";
    EXPECT_EQ(send(wmCommand, idCancel), 1);
    EXPECT_EQ(saved(), "C:\\l.txt\n4\n5\n0");
    EXPECT_EQ(platform.log, (test::CallLog{"enddialog 0"}));
}

TEST_F(SettingsDialog, NoSettingsFileEndsBeforeShowing) {
    EXPECT_EQ(send(wmInitDialog), 0);
    EXPECT_EQ(platform.log, (test::CallLog{"enddialog 0"}));
    EXPECT_TRUE(ui().combo.empty());
    EXPECT_TRUE(files().files.empty()) << "a missing file is never created";
}

TEST_F(SettingsDialog, AFailedSaveIsReportedAndKeepsTheOldFile) {
    open("C:\\l.txt\n4\n5\n0");
    files().failReplace = true;
    EXPECT_EQ(send(wmCommand, idOk), 1);
    EXPECT_EQ(saved(), "C:\\l.txt\n4\n5\n0");
    EXPECT_EQ(platform.log, (test::CallLog{std::string("messagebox ") + gbk::cannotSaveSettings + "|ERROR",
                                           "enddialog 1"}));
}

TEST_F(SettingsDialog, OtherMessagesAndCommandsAreNotHandled) {
    open("C:\\l.txt\n4\n5\n0");
    platform.log.clear();
    for (WParam command : {WParam{1001}, WParam{1003}, WParam{(1 << 16) | 1003}, WParam{(1 << 16) | 1}})
        EXPECT_EQ(send(wmCommand, command), 0) << command;
    EXPECT_EQ(send(0x0200), 0);
    EXPECT_TRUE(platform.log.empty());
}

}  // namespace
}  // namespace vellora
