// The shell's side of the test platform: records every call in the shared log and
// answers from fields a test sets. Creating the window and sending messages run the
// real window procedure, as the platform would.
//
// Recorded lines: initcc | foreground H | create EX CLASS|TITLE STYLE L T W H PARENT |
//   registerclass NAME STYLE ICON | loop | dialog OWNER | post H MSG WPARAM LPARAM |
//   send H MSG WPARAM LPARAM | hidecursor | removetimer H | verify H | associate H CONTEXT |
//   openkey | closekey | load NAME | free MODULE | running ON | changepassword PROVIDER OWNER
#pragma once

#include <map>
#include <set>
#include <string>

#include "platform/shell_services.h"

namespace vellora::test {

class TestShell : public ShellServices {
public:
    explicit TestShell(std::vector<std::string>& log) : log_(log) {}

    const char* nextChar(const char* text) override;
    void initCommonControls() override { log_.push_back("initcc"); }
    std::optional<std::uint32_t> platformId() override { return platform; }
    bool isWindow(WindowHandle window) override { return liveWindows.count(window) > 0; }
    WindowHandle foregroundWindow() override { return foreground; }
    void setForegroundWindow(WindowHandle window) override;
    ScreenRect clientRect(WindowHandle) override { return client; }
    std::int32_t systemMetric(std::int32_t index) override { return metrics[index]; }
    ScreenRect screenClipBox() override { return clipBox; }
    WindowHandle findTopLevelWindow(const char*, const char*) override { return runningSaver; }
    std::optional<std::uint8_t> acLineStatus() override { return acStatus; }
    MessageId registerMessage(const char*) override { return registeredMessage; }
    bool registerSaverClass(const SaverClass& saverClass) override;
    WindowHandle createSaverWindow(const SaverWindowForm& form) override;
    std::intptr_t runMessageLoop() override;
    std::intptr_t runSettingsDialog(WindowHandle owner) override;
    std::intptr_t runGuarded(const std::function<std::intptr_t()>& body,
                             const std::function<void()>& onHandledFault) override;
    void postMessage(WindowHandle window, MessageId message, WParam wParam, LParam lParam) override;
    void hideCursor() override { log_.push_back("hidecursor"); }
    ScreenPoint cursorPos() override { return cursor; }
    WindowHandle parentOf(WindowHandle) override { return parent; }
    std::uintptr_t loadedModule(const char* name) override { return modules.count(name) ? modules[name] : 0; }
    std::uintptr_t procAddress(std::uintptr_t, const char* name) override { return procs.count(name) ? procs[name] : 0; }
    std::uintptr_t associateContext(std::uintptr_t proc, WindowHandle window, std::uintptr_t context) override;
    MessageResult sendMessage(WindowHandle window, MessageId message, WParam wParam, LParam lParam) override;
    void removeTimerMessage(WindowHandle window) override;
    std::uint32_t callVerifyPassword(std::uintptr_t proc, WindowHandle window) override;
    bool openDesktopKey() override;
    std::optional<std::uint32_t> queryDesktopNumber(const char* name) override;
    void closeDesktopKey() override { log_.push_back("closekey"); }
    std::uintptr_t loadLibrary(const char* name) override;
    void freeLibrary(std::uintptr_t module) override;
    void setScreenSaverRunning(std::uint32_t on) override;
    void callChangePassword(std::uintptr_t proc, const char* provider, WindowHandle owner) override;

    std::optional<std::uint32_t> platform = 2;  // VER_PLATFORM_WIN32_NT
    std::set<WindowHandle> liveWindows;
    WindowHandle foreground = 0;
    ScreenRect client{0, 0, 152, 112};
    std::map<std::int32_t, std::int32_t> metrics{{76, 0}, {77, 0}, {78, 1024}, {79, 768}};
    ScreenRect clipBox{0, 0, 800, 600};
    WindowHandle runningSaver = 0;
    std::optional<std::uint8_t> acStatus = 1;
    MessageId registeredMessage = 0xC0DE;
    bool classRegisters = true;
    WindowHandle windowToCreate = 0x500;  // 0: creation fails
    std::intptr_t quitCode = 0;
    std::intptr_t dialogResult = 1;
    bool faultInBody = false;      // the guarded body faults instead of returning
    bool systemHandlesFault = true;  // the system's filter answers "execute handler"
    ScreenPoint cursor;
    WindowHandle parent = 0;
    std::map<std::string, std::uintptr_t> modules;
    std::map<std::string, std::uintptr_t> procs;
    std::uintptr_t previousContext = 0;
    std::uint32_t verifyAnswer = 0;
    std::function<void()> duringVerify;  // runs while the password prompt is open
    bool desktopKeyOpens = true;
    std::map<std::string, std::string> desktopValues;  // value name to its data bytes
    std::map<std::string, std::uintptr_t> libraries;   // what LoadLibraryA finds

private:
    std::vector<std::string>& log_;
};

}  // namespace vellora::test
