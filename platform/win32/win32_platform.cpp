#include "platform/win32/win32_platform.h"

#include <windows.h>
#include <commctrl.h>
#include <float.h>
#include <ole2.h>
#include <olectl.h>
#include <mmsystem.h>

#include <ctime>
#include <memory>
#include <string>

#include "dialog/settings_dialog.h"
#include "platform/dialog_services.h"
#include "platform/platform.h"
#include "platform/shell_services.h"
#include "shell/shell.h"

namespace vellora::win32 {
namespace {

HWND toHwnd(WindowHandle w) { return reinterpret_cast<HWND>(w); }
WindowHandle fromHwnd(HWND h) { return reinterpret_cast<WindowHandle>(h); }
HINSTANCE appInstance() { return reinterpret_cast<HINSTANCE>(shellState().appInstance); }

template <typename Fn>
Fn procAs(std::uintptr_t proc) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
}

class Win32Picture : public Picture {
public:
    explicit Win32Picture(IPicture* picture) : picture_(picture) {}
    ~Win32Picture() override { picture_->Release(); }
    std::int32_t widthHimetric() const override {
        OLE_XSIZE_HIMETRIC w = 0;
        picture_->get_Width(&w);
        return w;
    }
    std::int32_t heightHimetric() const override {
        OLE_YSIZE_HIMETRIC h = 0;
        picture_->get_Height(&h);
        return h;
    }
    IPicture* get() const { return picture_; }

private:
    IPicture* picture_;
};

class Win32Canvas : public Canvas {
public:
    explicit Win32Canvas(HDC dc) : dc_(dc) {}
    DeviceMetrics metrics() override {
        return {GetDeviceCaps(dc_, HORZRES), GetDeviceCaps(dc_, VERTRES), GetDeviceCaps(dc_, HORZSIZE),
                GetDeviceCaps(dc_, VERTSIZE)};
    }
    void fillBlack(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) override {
        RECT r{left, top, right, bottom};
        FillRect(dc_, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    }
    void render(const Picture& picture, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy,
                std::int32_t xSrc, std::int32_t ySrc, std::int32_t cxSrc, std::int32_t cySrc) override {
        static_cast<const Win32Picture&>(picture).get()->Render(dc_, x, y, cx, cy, xSrc, ySrc, cxSrc, cySrc, nullptr);
    }
    void selectBlackBrush() override { SelectObject(dc_, GetStockObject(BLACK_BRUSH)); }
    void pie(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, std::int32_t x1,
             std::int32_t y1, std::int32_t x2, std::int32_t y2) override {
        Pie(dc_, left, top, right, bottom, x1, y1, x2, y2);
    }

private:
    HDC dc_;
};

class HandleInput : public InputFile {
public:
    explicit HandleInput(HANDLE h) : h_(h) {}
    ~HandleInput() override { CloseHandle(h_); }
    std::size_t read(char* buffer, std::size_t size) override {
        DWORD got = 0;
        if (!ReadFile(h_, buffer, static_cast<DWORD>(size), &got, nullptr)) return 0;
        return got;
    }

private:
    HANDLE h_;
};

class HandleOutput : public OutputFile {
public:
    explicit HandleOutput(HANDLE h) : h_(h) {}
    ~HandleOutput() override {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    bool write(const char* data, std::size_t size) override {
        DWORD put = 0;
        return WriteFile(h_, data, static_cast<DWORD>(size), &put, nullptr) && put == size;
    }
    bool flush() override { return FlushFileBuffers(h_) != 0; }
    bool close() override {
        const bool ok = CloseHandle(h_) != 0;
        h_ = INVALID_HANDLE_VALUE;
        return ok;
    }

private:
    HANDLE h_;
};

class Win32Files : public Files {
public:
    std::unique_ptr<InputFile> openForReading(const std::string& path) override {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return nullptr;
        return std::make_unique<HandleInput>(h);
    }
    std::unique_ptr<OutputFile> createForWriting(const std::string& path) override {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return nullptr;
        return std::make_unique<HandleOutput>(h);
    }
    bool replaceFile(const std::string& from, const std::string& to) override {
        if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
        if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return false;
        // Windows 95/98/Me have no replacing move: set the old file aside until the
        // new one stands in its place, and put it back if that fails.
        const std::string aside = to.substr(0, to.size() - 3) + "bak";
        DeleteFileA(aside.c_str());
        const bool hadOld = MoveFileA(to.c_str(), aside.c_str()) != 0;
        if (!hadOld && GetLastError() != ERROR_FILE_NOT_FOUND) return false;
        if (MoveFileA(from.c_str(), to.c_str())) {
            DeleteFileA(aside.c_str());
            return true;
        }
        if (hadOld) MoveFileA(aside.c_str(), to.c_str());
        return false;
    }
    bool removeFile(const std::string& path) override { return DeleteFileA(path.c_str()) != 0; }
    std::string windowsDirectory() override {
        char buffer[MAX_PATH];
        const UINT n = GetWindowsDirectoryA(buffer, MAX_PATH);
        // A directory too long for the buffer makes a path that cannot be opened.
        if (n >= MAX_PATH) return std::string(n, '?');
        return std::string(buffer, n);
    }
};

class Win32Pictures : public PictureLoader {
public:
    std::unique_ptr<Picture> loadPictureFile(const std::string& path) override {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return nullptr;
        const DWORD size = GetFileSize(file, nullptr);
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
        void* data = block ? GlobalLock(block) : nullptr;
        DWORD read = 0;
        const bool complete = data && ReadFile(file, data, size, &read, nullptr) && read >= size;
        if (data) GlobalUnlock(block);
        CloseHandle(file);
        if (!complete) {
            if (block) GlobalFree(block);
            return nullptr;
        }
        IStream* stream = nullptr;
        if (FAILED(CreateStreamOnHGlobal(block, TRUE, &stream))) {
            GlobalFree(block);
            return nullptr;
        }
        IPicture* picture = nullptr;
        const HRESULT decoded =
            OleLoadPicture(stream, static_cast<LONG>(size), TRUE, IID_IPicture, reinterpret_cast<void**>(&picture));
        stream->Release();
        if (FAILED(decoded) || !picture) return nullptr;
        return std::make_unique<Win32Picture>(picture);
    }
};

class Win32Clock : public Clock {
public:
    void sleep(std::uint32_t milliseconds) override { Sleep(milliseconds); }
    std::int64_t calendarSeconds() override { return static_cast<std::int64_t>(std::time(nullptr)); }
    std::uint32_t tickCount() override { return GetTickCount(); }
};

class Win32Windows : public WindowServices {
public:
    Canvas* deviceContext(WindowHandle window) override {
        // The class gives each window its own device context; it is never released.
        canvas_ = std::make_unique<Win32Canvas>(GetDC(toHwnd(window)));
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
    std::unique_ptr<Win32Canvas> canvas_;
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

void installWin32Platform() {
    // The show's step sizes assume every double operation rounds to 53 bits.
    _controlfp(_PC_53, _MCW_PC);
    static Win32Windows windows;
    static Win32Files files;
    static Win32Pictures pictures;
    static Win32Clock clock;
    static Win32Shell shell;
    static Win32Dialog dialog;
    installPlatform({&windows, &files, &pictures, &clock});
    installShellServices(&shell);
    installDialogServices(&dialog);
}

}  // namespace vellora::win32
