// What the saver shell asks of the window system, beyond the slideshow's needs.
//
// Contract: the same conventions as platform.h. Screen positions are pixels of
// the virtual screen. Text is ANSI bytes. Every operation reports the platform's
// answer unchanged; the shell makes all the decisions.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "platform/platform.h"

namespace vellora {

struct ScreenPoint {
    std::int32_t x = 0, y = 0;
};

struct ScreenRect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// The saver window class, as the shell describes it.
struct SaverClass {
    const char* name;
    std::uint32_t style;
    std::uint32_t iconResource;  // loaded from the program module; none when absent
};

struct SaverWindowForm {
    std::uint32_t exStyle;
    const char* className;
    const char* title;
    std::uint32_t style;
    std::int32_t left, top, width, height;
    WindowHandle parent;
};

class ShellServices {
public:
    virtual ~ShellServices() = default;

    // Start-up and modes.
    virtual const char* nextChar(const char* text) = 0;  // CharNextA
    virtual void initCommonControls() = 0;                // InitCommonControlsEx, tab classes
    virtual std::optional<std::uint32_t> platformId() = 0;  // GetVersionExA; nothing when it fails
    virtual bool isWindow(WindowHandle window) = 0;
    virtual WindowHandle foregroundWindow() = 0;
    virtual void setForegroundWindow(WindowHandle window) = 0;
    virtual ScreenRect clientRect(WindowHandle window) = 0;
    virtual std::int32_t systemMetric(std::int32_t index) = 0;
    virtual ScreenRect screenClipBox() = 0;  // GetDC(NULL), GetClipBox, ReleaseDC
    virtual WindowHandle findTopLevelWindow(const char* className, const char* title) = 0;
    virtual std::optional<std::uint8_t> acLineStatus() = 0;  // GetSystemPowerStatus
    virtual MessageId registerMessage(const char* name) = 0;
    virtual bool registerSaverClass(const SaverClass& saverClass) = 0;
    // Creation runs the window procedure's creation handling inside the call.
    virtual WindowHandle createSaverWindow(const SaverWindowForm& form) = 0;
    // GetMessage, TranslateMessage, DispatchMessage until the quit message; its wParam.
    virtual std::intptr_t runMessageLoop() = 0;
    // The modal settings dialog, template 2003; -1 when it cannot be created.
    virtual std::intptr_t runSettingsDialog(WindowHandle owner) = 0;
    // Runs `body` under a guard for faults nothing else handles. When the system's
    // reaction says the fault is handled, `onHandledFault` runs and the result is -1.
    virtual std::intptr_t runGuarded(const std::function<std::intptr_t()>& body,
                                     const std::function<void()>& onHandledFault) = 0;

    // Input and close rules.
    virtual void postMessage(WindowHandle window, MessageId message, WParam wParam, LParam lParam) = 0;
    virtual void hideCursor() = 0;  // SetCursor with no cursor
    virtual ScreenPoint cursorPos() = 0;
    virtual WindowHandle parentOf(WindowHandle window) = 0;
    // The input-method module, only when already loaded; 0 otherwise.
    virtual std::uintptr_t loadedModule(const char* name) = 0;
    virtual std::uintptr_t procAddress(std::uintptr_t module, const char* name) = 0;
    // Calls ImmAssociateContext through `proc`; returns the previous context.
    virtual std::uintptr_t associateContext(std::uintptr_t proc, WindowHandle window, std::uintptr_t context) = 0;

    // Closing with a password.
    virtual MessageResult sendMessage(WindowHandle window, MessageId message, WParam wParam, LParam lParam) = 0;
    // Takes one pending WM_TIMER for the window out of the queue, if there is one.
    virtual void removeTimerMessage(WindowHandle window) = 0;
    // Calls VerifyScreenSavePwd through `proc`; nonzero when the password was right.
    virtual std::uint32_t callVerifyPassword(std::uintptr_t proc, WindowHandle window) = 0;

    // Password services of Windows 95/98/Me.
    // Opens "Control Panel\Desktop" of the current user for reading values.
    virtual bool openDesktopKey() = 0;
    // Reads a value of that key into a 4-byte number that starts at 0, asking for no
    // type; nothing when the read fails, also when the data are longer than 4 bytes.
    virtual std::optional<std::uint32_t> queryDesktopNumber(const char* name) = 0;
    virtual void closeDesktopKey() = 0;
    virtual std::uintptr_t loadLibrary(const char* name) = 0;
    virtual void freeLibrary(std::uintptr_t module) = 0;
    // SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, on, &scratch, 0).
    virtual void setScreenSaverRunning(std::uint32_t on) = 0;
    // Calls PwdChangePasswordA(provider, owner, 0, 0) through `proc`.
    virtual void callChangePassword(std::uintptr_t proc, const char* provider, WindowHandle owner) = 0;
};

void installShellServices(ShellServices* services);
ShellServices& shellServices();

}  // namespace vellora
