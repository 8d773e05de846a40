// Windows, the message loop, the shell's and the settings dialog's services.
#include <windows.h>
#include <commctrl.h>
#include <mmsystem.h>

#include <functional>
#include <string>

#include "dialog/settings_dialog.h"
#include "platform/win32/win32_internal.h"

namespace vellora::win32 {
namespace {

class Win32Windows : public WindowServices {
public:
    Canvas* deviceContext(WindowHandle window) override {
        // The class gives each window its own device context; it is never released.
        canvas_ = makeCanvas(GetDC(toHwnd(window)));
        return canvas_.get();
    }
    std::uintptr_t setTimer(WindowHandle window, std::uintptr_t id, std::uint32_t periodMs) override {
        return SetTimer(toHwnd(window), id, periodMs, nullptr);
    }
    void killTimer(WindowHandle window, std::uintptr_t id) override { KillTimer(toHwnd(window), id); }
    void postQuit(int exitCode) override { PostQuitMessage(exitCode); }
    void messageBox(WindowHandle owner, const std::string& text, const std::string& caption) override {
        MessageBoxA(toHwnd(owner), text.c_str(), caption.c_str(), MB_OK);
    }
    MessageResult defaultProc(WindowHandle window, MessageId message, WParam wParam, LParam lParam) override {
        return DefWindowProcA(toHwnd(window), message, wParam, lParam);
    }

private:
    std::unique_ptr<Canvas> canvas_;
};

LRESULT CALLBACK saverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Sleep(1) lasts a whole scheduler tick (up to 15.6 ms) unless the timer
    // resolution is raised, which would stretch every transition many times over.
    if (message == WM_CREATE) timeBeginPeriod(1);
    const LRESULT result = shellWindowProc(fromHwnd(window), message, wParam, lParam);
    if (message == WM_DESTROY) timeEndPeriod(1);
    return result;
}

INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return settingsDialogProc(fromHwnd(dialog), message, wParam, lParam);
}

const std::function<void()>* faultHandler = nullptr;
LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;

LONG WINAPI guardFilter(EXCEPTION_POINTERS* fault) {
    // The system's own reaction calls the top-level filter again; it must not find this one.
    SetUnhandledExceptionFilter(previousFilter);
    const LONG verdict = UnhandledExceptionFilter(fault);
    if (verdict == EXCEPTION_EXECUTE_HANDLER && faultHandler) {
        (*faultHandler)();
        ExitProcess(static_cast<UINT>(-1));
    }
    return verdict;
}

class Win32Shell : public ShellServices {
public:
    const char* nextChar(const char* text) override { return CharNextA(text); }
    void initCommonControls() override {
        INITCOMMONCONTROLSEX controls{8, ICC_TAB_CLASSES};
        InitCommonControlsEx(&controls);
    }
    std::optional<std::uint32_t> platformId() override {
        OSVERSIONINFOA version{};
        version.dwOSVersionInfoSize = 148;
        if (!GetVersionExA(&version)) return std::nullopt;
        return version.dwPlatformId;
    }
    bool isWindow(WindowHandle window) override { return IsWindow(toHwnd(window)) != 0; }
    WindowHandle foregroundWindow() override { return fromHwnd(GetForegroundWindow()); }
    void setForegroundWindow(WindowHandle window) override { SetForegroundWindow(toHwnd(window)); }
    ScreenRect clientRect(WindowHandle window) override {
        RECT r{};
        GetClientRect(toHwnd(window), &r);
        return {r.left, r.top, r.right, r.bottom};
    }
    std::int32_t systemMetric(std::int32_t index) override { return GetSystemMetrics(index); }
    ScreenRect screenClipBox() override {
        HDC screen = GetDC(nullptr);
        RECT r{};
        GetClipBox(screen, &r);
        ReleaseDC(nullptr, screen);
        return {r.left, r.top, r.right, r.bottom};
    }
    WindowHandle findTopLevelWindow(const char* className, const char* title) override {
        return fromHwnd(FindWindowA(className, title));
    }
    std::optional<std::uint8_t> acLineStatus() override {
        SYSTEM_POWER_STATUS status{};
        if (!GetSystemPowerStatus(&status)) return std::nullopt;
        return status.ACLineStatus;
    }
    MessageId registerMessage(const char* name) override { return RegisterWindowMessageA(name); }
    bool registerSaverClass(const SaverClass& c) override {
        WNDCLASSA wc{};
        wc.style = c.style;
        wc.lpfnWndProc = saverWindowProc;
        wc.hInstance = appInstance();
        wc.hIcon = LoadIconA(appInstance(), MAKEINTRESOURCEA(c.iconResource));
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        wc.lpszClassName = c.name;
        return RegisterClassA(&wc) != 0;
    }
    WindowHandle createSaverWindow(const SaverWindowForm& s) override {
        return fromHwnd(CreateWindowExA(s.exStyle, s.className, s.title, s.style, s.left, s.top, s.width, s.height,
                                        toHwnd(s.parent), nullptr, appInstance(), nullptr));
    }
    std::intptr_t runMessageLoop() override {
        MSG message{};
        while (GetMessageA(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        return static_cast<std::intptr_t>(message.wParam);
    }
    std::intptr_t runSettingsDialog(WindowHandle owner) override {
        return DialogBoxParamA(appInstance(), MAKEINTRESOURCEA(settingsDialogTemplate), toHwnd(owner), dialogProc, 0);
    }
    std::intptr_t runGuarded(const std::function<std::intptr_t()>& body,
                             const std::function<void()>& onHandledFault) override {
        faultHandler = &onHandledFault;
        previousFilter = SetUnhandledExceptionFilter(guardFilter);
        const std::intptr_t result = body();
        SetUnhandledExceptionFilter(previousFilter);
        faultHandler = nullptr;
        return result;
    }
    void postMessage(WindowHandle window, MessageId message, WParam wParam, LParam lParam) override {
        PostMessageA(toHwnd(window), message, wParam, lParam);
    }
    void hideCursor() override { SetCursor(nullptr); }
    ScreenPoint cursorPos() override {
        POINT p{};
        GetCursorPos(&p);
        return {p.x, p.y};
    }
    WindowHandle parentOf(WindowHandle window) override { return fromHwnd(GetParent(toHwnd(window))); }
    std::uintptr_t loadedModule(const char* name) override {
        return reinterpret_cast<std::uintptr_t>(GetModuleHandleA(name));
    }
    std::uintptr_t procAddress(std::uintptr_t module, const char* name) override {
        return reinterpret_cast<std::uintptr_t>(
            reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(module), name)));
    }
    std::uintptr_t associateContext(std::uintptr_t proc, WindowHandle window, std::uintptr_t context) override {
        using AssociateContext = void*(WINAPI*)(HWND, void*);
        return reinterpret_cast<std::uintptr_t>(
            procAs<AssociateContext>(proc)(toHwnd(window), reinterpret_cast<void*>(context)));
    }
    MessageResult sendMessage(WindowHandle window, MessageId message, WParam wParam, LParam lParam) override {
        return SendMessageA(toHwnd(window), message, wParam, lParam);
    }
    void removeTimerMessage(WindowHandle window) override {
        MSG message;
        PeekMessageA(&message, toHwnd(window), WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD);
    }
    std::uint32_t callVerifyPassword(std::uintptr_t proc, WindowHandle window) override {
        using VerifyScreenSavePwd = BOOL(WINAPI*)(HWND);
        return static_cast<std::uint32_t>(procAs<VerifyScreenSavePwd>(proc)(toHwnd(window)));
    }
    bool openDesktopKey() override {
        return RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, KEY_QUERY_VALUE, &desktopKey_) ==
               ERROR_SUCCESS;
    }
    std::optional<std::uint32_t> queryDesktopNumber(const char* name) override {
        DWORD number = 0, size = sizeof number;
        if (RegQueryValueExA(desktopKey_, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&number), &size) !=
            ERROR_SUCCESS)
            return std::nullopt;
        return number;
    }
    void closeDesktopKey() override { RegCloseKey(desktopKey_); }
    std::uintptr_t loadLibrary(const char* name) override {
        return reinterpret_cast<std::uintptr_t>(LoadLibraryA(name));
    }
    void freeLibrary(std::uintptr_t module) override { FreeLibrary(reinterpret_cast<HMODULE>(module)); }
    void setScreenSaverRunning(std::uint32_t on) override {
        UINT previous = 0;
        SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, on, &previous, 0);
    }
    void callChangePassword(std::uintptr_t proc, const char* provider, WindowHandle owner) override {
        using PwdChangePasswordA = DWORD(WINAPI*)(LPCSTR, HWND, DWORD, void*);
        procAs<PwdChangePasswordA>(proc)(provider, toHwnd(owner), 0, nullptr);
    }

private:
    HKEY desktopKey_ = nullptr;
};

class Win32Dialog : public DialogServices {
public:
    void endDialog(WindowHandle dialog, std::intptr_t result) override { EndDialog(toHwnd(dialog), result); }
    void addComboString(WindowHandle dialog, std::int32_t item, const char* text) override {
        SendMessageA(GetDlgItem(toHwnd(dialog), item), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    }
    void setComboSelection(WindowHandle dialog, std::int32_t item, std::int32_t index) override {
        SendMessageA(GetDlgItem(toHwnd(dialog), item), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
    std::int32_t comboSelection(WindowHandle dialog, std::int32_t item) override {
        return static_cast<std::int32_t>(SendMessageA(GetDlgItem(toHwnd(dialog), item), CB_GETCURSEL, 0, 0));
    }
    void setItemText(WindowHandle dialog, std::int32_t item, const std::string& text) override {
        SetDlgItemTextA(toHwnd(dialog), item, text.c_str());
    }
    std::string itemText(WindowHandle dialog, std::int32_t item, std::size_t bufferSize) override {
        std::string buffer(bufferSize, '\0');
        GetDlgItemTextA(toHwnd(dialog), item, buffer.data(), static_cast<int>(bufferSize));
        return buffer.substr(0, buffer.find('\0'));
    }
    void setItemSignedInt(WindowHandle dialog, std::int32_t item, std::int32_t value) override {
        SetDlgItemInt(toHwnd(dialog), item, static_cast<UINT>(value), TRUE);
    }
    std::int32_t itemSignedInt(WindowHandle dialog, std::int32_t item) override {
        return static_cast<std::int32_t>(GetDlgItemInt(toHwnd(dialog), item, nullptr, TRUE));
    }
    void checkButton(WindowHandle dialog, std::int32_t item, std::uint32_t state) override {
        CheckDlgButton(toHwnd(dialog), item, state);
    }
    std::uint32_t buttonState(WindowHandle dialog, std::int32_t item) override {
        return IsDlgButtonChecked(toHwnd(dialog), item);
    }
};

}  // namespace

WindowServices& windowServices() {
    static Win32Windows windows;
    return windows;
}

ShellServices& shell() {
    static Win32Shell shell;
    return shell;
}

DialogServices& dialog() {
    static Win32Dialog dialog;
    return dialog;
}

}  // namespace vellora::win32
