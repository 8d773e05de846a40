// vellora-probe: reads windows through the window API for the tests under Wine.
//   wait-window CLASS TITLE MS   waits for a visible top-level window; prints its facts
//   wait-child PARENT CLASS MS    waits for a visible child window of PARENT; prints its facts
//   gone CLASS TITLE MS           waits until no such window exists
//   desktop                       the desktop window's handle
//   devcaps                       the screen's HORZRES VERTRES HORZSIZE VERTSIZE
//   wait-box MS                   waits for a message box; prints caption and text as hex bytes
//   press-box                     presses OK on the message box
//   close-box                     closes the message box or dialog with its close box
//   dialog MS                     waits for the settings dialog; prints its title and controls
//   texts                         the texts shown in a dialog's pages, with the buttons' check states
//   hold FILE... READY STOP       holds files open for writing until STOP exists
// Texts are printed as hex bytes so that the test can decode them as GBK.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string hex(const char* text) {
    std::string out;
    char buf[3];
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        std::snprintf(buf, sizeof buf, "%02X", *p);
        out += buf;
    }
    return out.empty() ? "-" : out;
}

std::string windowText(HWND w) {
    char buf[1024] = {};
    GetWindowTextA(w, buf, sizeof buf);
    return buf;
}

template <typename Find>
HWND waitFor(Find find, DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND w = find()) return w;
        if (GetTickCount() - start >= ms) return nullptr;
        Sleep(20);
    }
}

// Waits until `find` names a visible window: a window shows once its creation, or
// its dialog initialisation, is over.
template <typename Find>
HWND waitForVisible(Find find, DWORD ms) {
    return waitFor(
        [&]() -> HWND {
            HWND found = find();
            return found && IsWindowVisible(found) ? found : nullptr;
        },
        ms);
}

void printWindow(HWND w) {
    RECT r{};
    GetWindowRect(w, &r);
    std::printf("hwnd %lu\nstyle %08lX\nexstyle %08lX\nrect %ld %ld %ld %ld\nparent %lu\ntitle %s\nvisible %d\n",
                static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(w)), GetWindowLongA(w, GWL_STYLE),
                GetWindowLongA(w, GWL_EXSTYLE), r.left, r.top, r.right - r.left, r.bottom - r.top,
                static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(GetParent(w))), hex(windowText(w).c_str()).c_str(),
                IsWindowVisible(w) ? 1 : 0);
}

HWND findBox() { return FindWindowA("#32770", nullptr); }

// The message box's text is its static control with text (the icon's has none).
BOOL CALLBACK findText(HWND control, LPARAM found) {
    char cls[64] = {};
    GetClassNameA(control, cls, sizeof cls);
    if (lstrcmpiA(cls, "Static") != 0 || windowText(control).empty()) return TRUE;
    *reinterpret_cast<HWND*>(found) = control;
    return FALSE;
}

// Another process's controls are asked in UTF-16 (Wine does not convert their ANSI
// answers across processes) and the answer is turned into the ANSI code page here.
std::string ansi(const wchar_t* text) {
    char buf[1024] = {};
    WideCharToMultiByte(CP_ACP, 0, text, -1, buf, sizeof buf, nullptr, nullptr);
    return buf;
}

std::string controlText(HWND control) {
    wchar_t buf[512] = {};
    SendMessageW(control, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buf));
    return ansi(buf);
}

// Any visible control with text, nested pages included: "text ID CHECK HEX", CHECK
// being a button's check state and -1 for other controls.
BOOL CALLBACK printShownText(HWND control, LPARAM) {
    const std::string text = controlText(control);
    if (!IsWindowVisible(control) || text.empty()) return TRUE;
    char cls[64] = {};
    GetClassNameA(control, cls, sizeof cls);
    const long check = lstrcmpiA(cls, "Button") == 0 ? static_cast<long>(SendMessageA(control, BM_GETCHECK, 0, 0)) : -1;
    std::printf("text %d %ld %s\n", GetDlgCtrlID(control), check, hex(text.c_str()).c_str());
    return TRUE;
}

BOOL CALLBACK printControl(HWND control, LPARAM dialog) {
    if (GetParent(control) != reinterpret_cast<HWND>(dialog)) return TRUE;  // parts of a control
    char cls[64] = {};
    GetClassNameA(control, cls, sizeof cls);
    std::printf("control %d %s %08lX %s\n", GetDlgCtrlID(control), cls, GetWindowLongA(control, GWL_STYLE),
                hex(controlText(control).c_str()).c_str());
    if (lstrcmpiA(cls, "ComboBox") == 0) {
        const LRESULT count = SendMessageW(control, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            wchar_t item[256] = {};
            SendMessageW(control, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
            std::printf("item %ld %s\n", static_cast<long>(i), hex(ansi(item).c_str()).c_str());
        }
        std::printf("selection %ld\n", static_cast<long>(SendMessageA(control, CB_GETCURSEL, 0, 0)));
    }
    if (lstrcmpiA(cls, "Button") == 0)
        std::printf("checked %d %ld\n", GetDlgCtrlID(control), static_cast<long>(SendMessageA(control, BM_GETCHECK, 0, 0)));
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "wait-window" && argc == 5) {
        HWND w = waitForVisible([&] { return FindWindowA(argv[2], argv[3]); }, std::atoi(argv[4]));
        if (!w) return 1;
        printWindow(w);
        return 0;
    }
    if (command == "wait-child" && argc == 5) {
        HWND parent = reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoul(argv[2], nullptr, 10)));
        HWND w = waitForVisible([&] { return FindWindowExA(parent, nullptr, argv[3], nullptr); }, std::atoi(argv[4]));
        if (!w) return 1;
        printWindow(w);
        return 0;
    }
    if (command == "gone" && argc == 5) {
        const DWORD start = GetTickCount();
        while (FindWindowA(argv[2], argv[3]))
            if (GetTickCount() - start >= static_cast<DWORD>(std::atoi(argv[4]))) return 1;
            else Sleep(20);
        return 0;
    }
    if (command == "desktop") {
        std::printf("hwnd %lu\n", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(GetDesktopWindow())));
        return 0;
    }
    if (command == "devcaps") {
        HDC dc = GetDC(nullptr);
        std::printf("%d %d %d %d\n", GetDeviceCaps(dc, HORZRES), GetDeviceCaps(dc, VERTRES), GetDeviceCaps(dc, HORZSIZE),
                    GetDeviceCaps(dc, VERTSIZE));
        ReleaseDC(nullptr, dc);
        return 0;
    }
    if (command == "wait-box" && argc == 3) {
        // A box counts once it shows and its text is in place.
        HWND text = nullptr;
        HWND box = waitFor(
            [&] {
                HWND found = findBox();
                text = nullptr;
                if (found && IsWindowVisible(found)) EnumChildWindows(found, findText, reinterpret_cast<LPARAM>(&text));
                return text ? found : nullptr;
            },
            std::atoi(argv[2]));
        if (!box) return 1;
        std::printf("caption %s\ntext %s\nowner %lu\n", hex(windowText(box).c_str()).c_str(),
                    hex(text ? windowText(text).c_str() : "").c_str(),
                    static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(GetWindow(box, GW_OWNER))));
        return 0;
    }
    if (command == "press-box") {
        HWND box = findBox();
        if (!box) return 1;
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        return 0;
    }
    if (command == "close-box") {  // what the caption's close box sends
        HWND box = findBox();
        if (!box) return 1;
        PostMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    }
    if (command == "dialog" && argc == 3) {
        HWND dialog = waitForVisible(findBox, std::atoi(argv[2]));
        if (!dialog) return 1;
        RECT r{};
        GetWindowRect(dialog, &r);
        std::printf("title %s\nrect %ld %ld %ld %ld\n", hex(windowText(dialog).c_str()).c_str(), r.left, r.top,
                    r.right - r.left, r.bottom - r.top);
        EnumChildWindows(dialog, printControl, reinterpret_cast<LPARAM>(dialog));
        return 0;
    }
    if (command == "texts") {
        HWND dialog = findBox();
        if (!dialog || !IsWindowVisible(dialog)) return 1;
        EnumChildWindows(dialog, printShownText, 0);
        return 0;
    }
    if (command == "hold" && argc >= 5) {
        // Holds files open for writing, as an editor would, until told to let go:
        // hold FILE... READY STOP writes READY once every file is held, then waits for STOP.
        std::vector<HANDLE> held;
        for (int i = 2; i < argc - 2; ++i) {
            HANDLE h = CreateFileA(argv[i], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h == INVALID_HANDLE_VALUE) return 1;
            held.push_back(h);
        }
        CloseHandle(CreateFileA(argv[argc - 2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        const DWORD start = GetTickCount();
        while (GetFileAttributesA(argv[argc - 1]) == INVALID_FILE_ATTRIBUTES && GetTickCount() - start < 120000) Sleep(20);
        for (HANDLE h : held) CloseHandle(h);
        return 0;
    }
    std::fprintf(stderr, "usage: vellora-probe wait-window|gone|devcaps|wait-box|press-box|dialog|texts|hold ...\n");
    return 2;
}
