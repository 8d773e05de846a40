#include <gtest/gtest.h>

#include "platform/messages.h"
#include "shell/shell.h"
#include "support.h"

namespace vellora {
namespace {

constexpr WindowHandle saver = 0x500, pane = 42;

class Shell : public ::testing::Test {
protected:
    void SetUp() override {
        platform.install();
        shell().liveWindows = {pane, 777};
        shell().foreground = 9;
    }
    test::TestShell& shell() { return platform.shell; }
    // The log lines that show the shell's decisions.
    test::CallLog decisions() const {
        test::CallLog out;
        for (const std::string& line : platform.log)
            for (const char* p : {"post ", "hidecursor", "default ", "create ", "dialog ", "foreground ", "loop",
                                  "registerclass ", "associate ", "quit "})
                if (line.rfind(p, 0) == 0) out.push_back(line);
        return out;
    }
    bool created(const std::string& title, WindowHandle parent) const {
        for (const std::string& line : platform.log)
            if (line.rfind("create ", 0) == 0 && line.find("|" + title + " ") != std::string::npos &&
                line.substr(line.rfind(' ') + 1) == std::to_string(parent))
                return true;
        return false;
    }
    test::TestPlatform platform;
};

TEST_F(Shell, StartUpPassesOverTheProgramNameByWholeCharacters) {
    struct Case {
        const char* commandLine;
        const char* rest;
    } cases[] = {
        {"\"C:\\Program Files\\Vellora\\vellora.scr\" /s", "/s"},
        {"vellora.scr   /p 42", "/p 42"},
        {"\"unclosed quote /s", ""},
        {"\"\" /c", "/c"},
        {"\xC6\xC1\xB1\xA3.scr /s", "/s"},                      // a double-byte program name
        {"\"\xC6\xC1\xB1\xA3 \xB3\xCC\xD0\xF2.scr\"\t/s", "/s"},  // quoted, with a space inside
        {"vellora.scr", ""},
        {"  /s", "/s"},
    };
    for (const Case& c : cases) EXPECT_STREQ(skipProgramName(c.commandLine), c.rest) << c.commandLine;
}

TEST_F(Shell, ParseWindowHandleReadsLeadingDigitsModulo2To32) {
    struct Case {
        const char* text;
        std::uint32_t value;
    } cases[] = {{"12ab", 12}, {"ab", 0}, {"4294967296", 0}, {"4294967295", 4294967295u},
                 {" 12", 0},   {"-5", 0}, {"\xB1\x32", 0},   {"0042", 42}};
    for (const Case& c : cases) EXPECT_EQ(parseWindowHandle(c.text), c.value) << c.text;
}

TEST_F(Shell, ModeSelection) {
    enum Kind { FullScreen, Preview, Dialog, Nothing };
    struct Case {
        const char* text;
        Kind kind;
        WindowHandle window;  // preview parent or dialog owner
        std::intptr_t result;
        std::uint32_t platformId = 2;
    } cases[] = {
        {"", Dialog, 0, 1},          {"  -/ -", Dialog, 0, 1},    {"/s", FullScreen, 0, 0},
        {"-S", FullScreen, 0, 0},    {"s", FullScreen, 0, 0},     {"//s", FullScreen, 0, 0},
        {"   /s", FullScreen, 0, 0}, {"/s more words", FullScreen, 0, 0},
        {"/p 42", Preview, pane, 0}, {"/p42", Preview, pane, 0},  {"/l 42", Preview, pane, 0},
        {"/P   42", Preview, pane, 0}, {"/p", Nothing, 0, -1},    {"/p 0", Nothing, 0, -1},
        {"/p ab", Nothing, 0, -1},   {"/p 12345", Nothing, 0, -1}, {"/c", Dialog, 9, 1},
        {"/c:42", Dialog, pane, 1},  {"/c 42", Dialog, 9, 1},     {"/c:0", Dialog, 9, 1},
        {"/c:12345", Dialog, 9, 1},  {"/x", Nothing, 0, -1},      {"?", Nothing, 0, -1},
        {"/a 42", Nothing, 0, -1},   {"/a 42", Nothing, 0, 0, 1},
    };
    for (const Case& c : cases) {
        platform.install();
        platform.log.clear();
        shell().platform = c.platformId;
        const std::intptr_t result = shellMain(0x400000, c.text);
        EXPECT_EQ(result, c.result) << c.text;
        EXPECT_EQ(shellState().appInstance, 0x400000u);
        EXPECT_EQ(platform.log.front(), "initcc");
        const auto d = decisions();
        auto has = [&](const std::string& line) { return std::find(d.begin(), d.end(), line) != d.end(); };
        switch (c.kind) {
        case FullScreen: EXPECT_TRUE(created("Screen Saver", 0)) << c.text; break;
        case Preview: EXPECT_TRUE(created("Preview", c.window)) << c.text; break;
        case Dialog: EXPECT_TRUE(has("dialog " + std::to_string(c.window))) << c.text; break;
        case Nothing:
            EXPECT_EQ(test::countPrefix(platform.log, "create"), 0u) << c.text;
            EXPECT_EQ(test::countPrefix(platform.log, "dialog"), 0u) << c.text;
        }
    }
}

TEST_F(Shell, FullScreenWindowCoversTheVirtualScreenOrTheClipBox) {
    shell().metrics = {{76, -1280}, {77, 0}, {78, 2304}, {79, 1024}};
    runSaverWindow(0);
    EXPECT_EQ(decisions(), (test::CallLog{"registerclass WindowsScreenSaverClass 43 100",
                                          "create 8 WindowsScreenSaverClass|Screen Saver 2516582400 -1280 0 2304 1024 0",
                                          "hidecursor", "default 1 0 0", "foreground 1280", "loop"}));
    platform.install();
    platform.log.clear();
    shell().metrics = {{76, 0}, {77, 0}, {78, 0}, {79, 1024}};
    shell().clipBox = {10, 20, 810, 620};
    runSaverWindow(0);
    EXPECT_TRUE(test::countPrefix(platform.log, "create 8 WindowsScreenSaverClass|Screen Saver 2516582400 10 20 800 600"));
}

TEST_F(Shell, PreviewFillsTheParentsClientArea) {
    shell().client = {0, 0, 152, 112};
    runSaverWindow(pane);
    EXPECT_TRUE(test::countPrefix(platform.log, "create 0 WindowsScreenSaverClass|Preview 1375731712 0 0 152 112 42"));
    EXPECT_EQ(test::countPrefix(platform.log, "foreground"), 0u);
    EXPECT_EQ(test::countPrefix(platform.log, "hidecursor"), 0u) << "the pointer stays in a preview";
    EXPECT_EQ(shellState().previewMode, 1u);
}

TEST_F(Shell, ASecondFullScreenStartDefersToTheFirst) {
    shell().runningSaver = 777;
    EXPECT_EQ(runSaverWindow(0), 0);
    EXPECT_EQ(decisions(), (test::CallLog{"foreground 777"}));
}

TEST_F(Shell, StartStateAndFailures) {
    struct Case {
        std::optional<std::uint8_t> ac;
        std::uint32_t platformId;
        bool registers;
        WindowHandle window;
        std::uint8_t wantAc;
        MessageId wantAutoPlay;
        bool loops;
    } cases[] = {
        {1, 2, true, saver, 1, 0, true},          {std::nullopt, 1, true, saver, 255, 0xC0DE, true},
        {0, 2, false, saver, 0, 0, false},         {0, 2, true, 0, 0, 0, false},
    };
    for (const Case& c : cases) {
        platform.install();
        platform.log.clear();
        shell().acStatus = c.ac;
        shell().classRegisters = c.registers;
        shell().windowToCreate = c.window;
        shellState().win9xPlatform = c.platformId == 1;
        shell().quitCode = 7;
        EXPECT_EQ(runSaverWindow(0), c.loops ? 7 : 0);
        EXPECT_EQ(shellState().acLineStatus, c.wantAc);
        EXPECT_EQ(shellState().autoPlayMessage, c.wantAutoPlay);
        EXPECT_EQ(test::countPrefix(platform.log, "create"), c.registers ? 1u : 0u);
        EXPECT_EQ(test::countPrefix(platform.log, "loop"), c.loops ? 1u : 0u);
    }
}

TEST_F(Shell, AHandledFaultEndsWithMinusOne) {
    shell().faultInBody = true;
    EXPECT_EQ(shellMain(1, "/s"), -1);
}

struct InputCase {
    const char* label;
    std::function<void(test::TestShell&)> setUp;
    MessageId message;
    WParam wParam;
    LParam lParam;
    test::CallLog decisions;
    MessageResult result = 0;
};

const std::string close = "post 1280 16 0 0";
const std::string def = "default ";  // prefix: the message reached the platform default

class InputRules : public Shell {
protected:
    void run(const InputCase& c) {
        platform.install();
        platform.log.clear();
        shell().liveWindows = {pane, saver};
        shellState().cursorAnchor = {100, 100};
        shell().cursor = {100, 100};
        c.setUp(shell());
        const MessageResult result = shellWindowProc(saver, c.message, c.wParam, c.lParam);
        test::CallLog got = decisions();
        for (std::string& line : got)
            if (line.rfind(def, 0) == 0) line = def;
        EXPECT_EQ(got, c.decisions) << c.label;
        if (c.decisions.empty() || c.decisions.back() != def) {
            EXPECT_EQ(result, c.result) << c.label;
        }
    }
};

auto fullScreen = [](test::TestShell&) {};
auto preview = [](test::TestShell&) { shellState().previewMode = 1; };
auto closing = [](test::TestShell&) { shellState().closing = 1; };
auto verifying = [](test::TestShell&) { shellState().verifying = 1; };
auto cursorAt = [](std::int32_t x, std::int32_t y) { return [=](test::TestShell& s) { s.cursor = {x, y}; }; };

TEST_F(InputRules, KeysClicksAndState) {
    const InputCase cases[] = {
        {"key", fullScreen, msg::keyDown, 32, 0, {close, def}},
        {"system key", fullScreen, msg::sysKeyDown, 18, 0, {close, def}},
        {"left click", fullScreen, msg::lButtonDown, 0, 0, {close, def}},
        {"right click", fullScreen, msg::rButtonDown, 0, 0, {close, def}},
        {"middle click", fullScreen, msg::mButtonDown, 0, 0, {close, def}},
        {"key up", fullScreen, 0x0101, 32, 0, {def}},
        {"double click", fullScreen, 0x0203, 0, 0, {def}},
        {"key in preview", preview, msg::keyDown, 32, 0, {def}},
        {"key while closing", closing, msg::keyDown, 32, 0, {def}},
        {"key while verifying", verifying, msg::keyDown, 32, 0, {def}},
        {"set text", fullScreen, msg::setText, 0, 0, {}, 0},
        {"set text in preview", preview, msg::setText, 0, 0, {}, 0},
        {"paint", fullScreen, msg::paint, 0, 0, {"hidecursor", def}},
        {"paint in preview", preview, msg::paint, 0, 0, {def}},
        {"paint while closing", closing, msg::paint, 0, 0, {def}},
        {"timer while closing", closing, msg::timer, 1, 0, {}, 0},
        {"set cursor", fullScreen, msg::setCursor, 0, 0, {"hidecursor"}, 1},
        {"set cursor while verifying", verifying, msg::setCursor, 0, 0, {def}},
        {"set cursor in preview", preview, msg::setCursor, 0, 0, {def}},
        {"shown", fullScreen, msg::showWindow, 1, 0, {"hidecursor", def}},
        {"hidden", fullScreen, msg::showWindow, 0, 0, {def}},
        {"shown in preview", preview, msg::showWindow, 1, 0, {def}},
        {"another application activated", fullScreen, msg::activateApp, 0, 0, {close, def}},
        {"this application activated", fullScreen, msg::activateApp, 1, 0, {def}},
        {"deactivated in preview", preview, msg::activateApp, 0, 0, {def}},
    };
    for (const InputCase& c : cases) run(c);
}

TEST_F(InputRules, MouseTravel) {
    const InputCase cases[] = {
        {"3 right 1 down: travel 4", cursorAt(103, 101), msg::mouseMove, 0, 0, {def}},
        {"3 right 2 down: travel 5", cursorAt(103, 102), msg::mouseMove, 0, 0, {close, def}},
        {"5 left", cursorAt(95, 100), msg::mouseMove, 0, 0, {close, def}},
        {"far in preview", [](test::TestShell& s) { shellState().previewMode = 1, s.cursor = {500, 500}; },
         msg::mouseMove, 0, 0, {def}},
    };
    for (const InputCase& c : cases) run(c);
    // Small moves are not absorbed: the anchor stays, so drift closes once it adds up.
    platform.install();
    platform.log.clear();
    shellState().cursorAnchor = {100, 100};
    shell().cursor = {103, 100};
    shellWindowProc(saver, msg::mouseMove, 0, 0);
    shell().cursor = {106, 100};
    shellWindowProc(saver, msg::mouseMove, 0, 0);
    EXPECT_EQ(test::countPrefix(platform.log, "post"), 1u);
    EXPECT_EQ(shellState().cursorAnchor.x, 106);
}

TEST_F(InputRules, SystemCommandsAreComparedWhole) {
    const InputCase cases[] = {
        {"screen save", fullScreen, msg::sysCommand, 0xF140, 0, {}, 0},
        {"next window", fullScreen, msg::sysCommand, 0xF040, 0, {}, 0},
        {"previous window", fullScreen, msg::sysCommand, 0xF050, 0, {}, 0},
        {"screen save, low bits set", fullScreen, msg::sysCommand, 0xF142, 0, {def}},
        {"monitor power", fullScreen, msg::sysCommand, 0xF170, 2, {close, def}},
        {"close", fullScreen, msg::sysCommand, 0xF060, 0, {def}},
        {"screen save in preview", preview, msg::sysCommand, 0xF140, 0, {def}},
    };
    for (const InputCase& c : cases) run(c);
}

TEST_F(InputRules, PowerEvents) {
    auto ac = [](std::uint8_t stored, std::optional<std::uint8_t> now) {
        return [=](test::TestShell& s) { shellState().acLineStatus = stored, s.acStatus = now; };
    };
    std::vector<InputCase> cases = {
        {"critical resume", fullScreen, msg::power, 3, 0, {close, def}},
        {"other power message", fullScreen, msg::power, 1, 0, {def}},
        {"resume after failure", fullScreen, msg::powerBroadcast, 7, 1, {def}},
        {"resume", fullScreen, msg::powerBroadcast, 7, 0, {close, def}},
        {"automatic resume after failure", fullScreen, msg::powerBroadcast, 18, 3, {def}},
        {"battery low", fullScreen, msg::powerBroadcast, 9, 0, {close, def}},
        {"AC unchanged", ac(1, 1), msg::powerBroadcast, 10, 0, {def}},
        {"AC lost", ac(1, 0), msg::powerBroadcast, 10, 0, {close, def}},
        {"status unknown", ac(1, std::nullopt), msg::powerBroadcast, 10, 0, {close, def}},
        {"suspend in preview", preview, msg::powerBroadcast, 4, 0, {def}},
    };
    for (WParam query = 0; query <= 5; ++query) cases.push_back({"query", fullScreen, msg::powerBroadcast, query, 0, {close, def}});
    for (const InputCase& c : cases) run(c);
    run({"AC lost", ac(1, 0), msg::powerBroadcast, 10, 0, {close, def}});
    EXPECT_EQ(shellState().acLineStatus, 0u) << "the new status is stored";
}

TEST_F(InputRules, HelpClosingAndAutoPlay) {
    auto win9x = [](test::TestShell&) { shellState().win9xPlatform = 1; };
    auto autoPlay = [](test::TestShell&) { shellState().win9xPlatform = 1, shellState().autoPlayMessage = 0xC0DE; };
    const InputCase cases[] = {
        {"help in preview", [](test::TestShell& s) { shellState().previewMode = 1, s.parent = pane; }, msg::help, 5,
         77, {"post 42 83 42 77"}, 1},
        {"context menu, parent gone", [](test::TestShell& s) { shellState().previewMode = 1, s.parent = 31; },
         msg::contextMenu, 5, 77, {}, 1},
        {"help full screen", fullScreen, msg::help, 5, 77, {def}},
        {"close on NT", fullScreen, msg::close, 0, 0, {def}},
        {"close on 9x without a check", win9x, msg::close, 0, 0, {def}},
        {"verify request on NT", fullScreen, msg::verifyRequest, 0, 0, {def}},
        {"verify request on 9x without a check", win9x, msg::verifyRequest, 0, 0, {}, 1},
        {"auto-play", autoPlay, 0xC0DE, 0, 0, {close}, 0},
        {"auto-play while closing", [](test::TestShell&) {
             shellState().win9xPlatform = 1, shellState().autoPlayMessage = 0xC0DE, shellState().closing = 1;
         }, 0xC0DE, 0, 0, {close}, 0},
        {"message 0 on NT", fullScreen, 0, 0, 0, {def}},
    };
    for (const InputCase& c : cases) run(c);
    run({"close on 9x without a check", win9x, msg::close, 0, 0, {def}});
    EXPECT_EQ(shellState().closing, 1u);
}

TEST_F(InputRules, CreationAndDestructionDetachTheInputMethod) {
    shell().modules = {{"IMM32.DLL", 5}};
    shell().procs = {{"ImmAssociateContext", 6}};
    shell().previousContext = 0x99;
    shell().cursor = {300, 200};
    shellWindowProc(saver, msg::create, 0, 0);
    EXPECT_EQ(shellState().cursorAnchor.x, 300);
    EXPECT_EQ(shellState().savedInputContext, 0x99u);
    platform.log.clear();
    shellWindowProc(saver, msg::destroy, 0, 0);
    EXPECT_EQ(decisions(), (test::CallLog{"associate 1280 153", "quit 0", "quit 0"}));

    platform.install();
    platform.log.clear();
    shell().modules.clear();
    shellWindowProc(saver, msg::create, 0, 0);
    shellWindowProc(saver, msg::destroy, 0, 0);
    EXPECT_EQ(test::countPrefix(platform.log, "associate"), 0u) << "IMM32.DLL is never loaded for this";
}

}  // namespace
}  // namespace vellora
