// Process entry of vellora.scr: one mode per process, then exit with its result.
#include <windows.h>

#include "platform/win32/win32_platform.h"
#include "shell/shell.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    vellora::win32::installWin32Platform();
    const char* commandText = vellora::skipProgramName(GetCommandLineA());
    const auto instance = reinterpret_cast<std::uintptr_t>(GetModuleHandleA(nullptr));
    ExitProcess(static_cast<UINT>(vellora::shellMain(instance, commandText)));
}
