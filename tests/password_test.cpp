#include <gtest/gtest.h>

#include "platform/messages.h"
#include "shell/shell.h"
#include "support.h"

namespace vellora {
namespace {

constexpr WindowHandle saver = 0x500;
constexpr std::uintptr_t passwordCpl = 0x7000, verifyEntry = 0x7010;

class Password : public ::testing::Test {
protected:
    void SetUp() override {
        platform.install();
        shellState().win9xPlatform = 1;
        shell().libraries = {{"PASSWORD.CPL", passwordCpl}};
        shell().procs = {{"VerifyScreenSavePwd", verifyEntry}};
        shell().desktopValues = {{"ScreenSaveUsePassword", std::string("\1\0\0\0", 4)}};
    }
    test::TestShell& shell() { return platform.shell; }
    std::size_t count(const std::string& prefix) { return test::countPrefix(platform.log, prefix); }
    std::uint32_t requestCloseAt(std::uint32_t tick) {
        platform.ticks = tick;
        return verifyBeforeClose(saver);
    }
    test::TestPlatform platform;
};

TEST_F(Password, TheNtFamilyDoesNothing) {
    shellState().win9xPlatform = 0;
    loadPasswordCheck();
    setSaverRunning(1);
    unloadPasswordCheck();
    changePassword(42);  // only ever called on Windows 95/98/Me, but harmless
    EXPECT_EQ(count("openkey") + count("running") + count("free"), 0u);
}

TEST_F(Password, TheRegistrySwitch) {
    struct Case {
        const char* label;
        std::optional<std::string> data;
        bool keyOpens;
        bool on;
    } cases[] = {
        {"absent", std::nullopt, true, false},
        {"0", std::string(4, '\0'), true, false},
        {"1", std::string("\1\0\0\0", 4), true, true},
        {"longer than 4 bytes", std::string("\1\0\0\0\0", 5), true, false},
        {"one-character text", std::string("1\0", 2), true, true},
        {"three-character text", std::string("abc\0", 4), true, true},
        {"empty text", std::string(1, '\0'), true, false},
        {"key cannot be opened", std::string("\1\0\0\0", 4), false, false},
    };
    for (const Case& c : cases) {
        platform.install();
        platform.log.clear();
        shellState().win9xPlatform = 1;
        shell().desktopKeyOpens = c.keyOpens;
        shell().desktopValues.clear();
        if (c.data) shell().desktopValues["ScreenSaveUsePassword"] = *c.data;
        loadPasswordCheck();
        EXPECT_EQ(count("load PASSWORD.CPL"), c.on ? 1u : 0u) << c.label;
        EXPECT_EQ(shellState().verifyPassword, c.on ? verifyEntry : 0u) << c.label;
        EXPECT_EQ(count("running 1"), c.on ? 1u : 0u) << c.label;
        EXPECT_EQ(count("closekey"), c.keyOpens ? 1u : 0u) << c.label;
    }
}

TEST_F(Password, AModuleWithoutTheEntryPointIsFreedAndTheFlagLeftAlone) {
    shell().procs.clear();
    loadPasswordCheck();
    EXPECT_EQ(platform.log, (test::CallLog{"openkey", "load PASSWORD.CPL", "free 28672", "closekey"}));
    EXPECT_EQ(shellState().passwordModule, 0u);
    shell().libraries.clear();
    platform.log.clear();
    loadPasswordCheck();
    EXPECT_EQ(platform.log, (test::CallLog{"openkey", "load PASSWORD.CPL", "closekey"}));
}

TEST_F(Password, AWrongPasswordHoldsBackRequestsFor200Milliseconds) {
    loadPasswordCheck();
    platform.log.clear();
    EXPECT_EQ(requestCloseAt(50), 0u) << "the first request is never held back";
    EXPECT_EQ(platform.log, (test::CallLog{"removetimer 1280", "removetimer 1280", "send 1280 32768 0 0", "verify 1280",
                                           "hidecursor"}));
    EXPECT_EQ(shellState().lastVerifyTick, 50u);
    EXPECT_EQ(requestCloseAt(200), 0u);
    EXPECT_EQ(count("verify"), 1u) << "150 ms after the prompt: refused without one";
    EXPECT_EQ(requestCloseAt(250), 0u);
    EXPECT_EQ(count("verify"), 2u) << "200 ms after it: asked again";

    shellState().lastVerifyTick = 0xFFFFFF00u;  // the tick count wraps
    EXPECT_EQ(requestCloseAt(0x40), 0u);
    EXPECT_EQ(count("verify"), 3u);
    shellState().lastVerifyTick = 0xFFFFFF00u;
    EXPECT_EQ(requestCloseAt(0xFFFFFF50u), 0u);
    EXPECT_EQ(count("verify"), 3u);
    EXPECT_EQ(shellState().closing, 0u);
}

TEST_F(Password, ARequestDuringThePromptIsRefusedWithoutDisturbingIt) {
    loadPasswordCheck();
    std::uint32_t nested = 99;
    shell().duringVerify = [&] {
        EXPECT_EQ(shellState().verifying, 1u);
        nested = verifyBeforeClose(saver);
    };
    shell().verifyAnswer = 1;
    EXPECT_EQ(requestCloseAt(10), 1u);
    EXPECT_EQ(nested, 0u);
    EXPECT_EQ(count("verify"), 1u);
    EXPECT_EQ(shellState().verifying, 0u);
}

TEST_F(Password, TheRightPasswordClosesDropsTicksAndUnloads) {
    loadPasswordCheck();
    shell().verifyAnswer = 1;
    platform.log.clear();
    shellWindowProc(saver, msg::close, 0, 0);
    EXPECT_EQ(shellState().closing, 1u);
    EXPECT_EQ(count("default 16"), 1u) << "the close request goes on to the platform";
    EXPECT_EQ(count("hidecursor"), 0u);
    EXPECT_EQ(shellWindowProc(saver, msg::timer, 1, 0), 0);
    EXPECT_EQ(count("pause"), 0u) << "ticks are dropped once closing";
    unloadPasswordCheck();
    EXPECT_EQ(platform.log.back(), "running 0");
    EXPECT_EQ(count("free 28672"), 1u);
    EXPECT_EQ(shellState().verifyPassword, 0u);
}

TEST_F(Password, TheCheckAnswerIsKeptAsItCame) {
    loadPasswordCheck();
    shell().verifyAnswer = 7;
    EXPECT_EQ(requestCloseAt(10), 7u);
    EXPECT_EQ(shellState().closing, 7u);
}

TEST_F(Password, NoCheckMeansTheFirstRequestCloses) {
    shell().desktopValues.clear();
    loadPasswordCheck();
    EXPECT_EQ(requestCloseAt(10), 1u);
    EXPECT_EQ(shellState().closing, 1u);
    EXPECT_EQ(count("verify") + count("running"), 0u);
}

TEST_F(Password, ChangePasswordLoadsAndFreesMprWithinTheCall) {
    struct Case {
        bool module, entry;
        test::CallLog log;
    } cases[] = {
        {true, true, {"load MPR.DLL", "changepassword SCRSAVE 42", "free 36864"}},
        {true, false, {"load MPR.DLL", "free 36864"}},
        {false, false, {"load MPR.DLL"}},
    };
    for (const Case& c : cases) {
        platform.log.clear();
        shell().libraries = c.module ? std::map<std::string, std::uintptr_t>{{"MPR.DLL", 0x9000}}
                                     : std::map<std::string, std::uintptr_t>{};
        shell().procs = c.entry ? std::map<std::string, std::uintptr_t>{{"PwdChangePasswordA", 0x9010}}
                                : std::map<std::string, std::uintptr_t>{};
        changePassword(42);
        EXPECT_EQ(platform.log, c.log);
        EXPECT_EQ(shellState().passwordModule, 0u);
    }
    shell().liveWindows = {42};
    shell().libraries = {{"MPR.DLL", 0x9000}};
    EXPECT_EQ(selectMode("/a 42"), 0);
}

TEST_F(Password, TheFaultGuardSwitchesTheFlagOff) {
    shell().faultInBody = true;
    shell().platform = 1;
    EXPECT_EQ(shellMain(1, "/s"), -1);
    EXPECT_EQ(platform.log.back(), "running 0");
}

}  // namespace
}  // namespace vellora
