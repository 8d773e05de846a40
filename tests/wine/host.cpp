// vellora-host: stands in for the display control panel's preview pane.
//   vellora-host SCR FORM OUTFILE
// Makes a window, starts "SCR FORM<handle>" (FORM is e.g. "/p " or "/l"), writes
// "hwnd PARENT" to OUTFILE, and destroys its window when OUTFILE.destroy appears.
// It then waits for the saver and writes "exit CODE" to OUTFILE.exit.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {
std::string outFile;
HWND pane;

LRESULT CALLBACK paneProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_TIMER && GetFileAttributesA((outFile + ".destroy").c_str()) != INVALID_FILE_ATTRIBUTES) {
        KillTimer(w, 1);
        DestroyWindow(w);
        return 0;
    }
    if (m == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(w, m, wp, lp);
}
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    if (__argc != 4) return 2;
    const std::string scr = __argv[1], form = __argv[2];
    outFile = __argv[3];
    WNDCLASSA wc{};
    wc.lpfnWndProc = paneProc;
    wc.hInstance = instance;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = "VelloraPreviewHost";
    RegisterClassA(&wc);
    pane = CreateWindowExA(0, wc.lpszClassName, "Preview host", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 40, 50, 152, 112, nullptr,
                           nullptr, instance, nullptr);
    SetTimer(pane, 1, 50, nullptr);

    const std::string command = "\"" + scr + "\" " + form + std::to_string(reinterpret_cast<UINT_PTR>(pane));
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string mutableCommand = command;
    if (!CreateProcessA(nullptr, mutableCommand.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 3;
    if (FILE* f = std::fopen(outFile.c_str(), "w")) {
        std::fprintf(f, "hwnd %lu\n", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(pane)));
        std::fclose(f);
    }
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    DWORD code = 0xDEAD;
    if (WaitForSingleObject(pi.hProcess, 15000) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
    if (FILE* f = std::fopen((outFile + ".exit").c_str(), "w")) {
        std::fprintf(f, "exit %ld\n", static_cast<long>(code));
        std::fclose(f);
    }
    return 0;
}
