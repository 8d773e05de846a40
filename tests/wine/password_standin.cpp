// Stand-in for the Windows 95/98/Me "PASSWORD.CPL", for the tests under Wine only.
// VerifyScreenSavePwd answers what C:\standin\answer.txt says ("1" right, anything
// else wrong) and every call and the module's unloading go to C:\standin\log.txt.
#include <windows.h>

#include <cstdio>

namespace {
void note(const char* line) {
    if (FILE* f = std::fopen("C:\\standin\\log.txt", "a")) {
        std::fprintf(f, "%s\n", line);
        std::fclose(f);
    }
}
}  // namespace

extern "C" __declspec(dllexport) BOOL WINAPI VerifyScreenSavePwd(HWND window) {
    char line[64];
    std::snprintf(line, sizeof line, "verify %lu", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window)));
    note(line);
    int answer = 0;
    if (FILE* f = std::fopen("C:\\standin\\answer.txt", "r")) {
        answer = std::fgetc(f) == '1';
        std::fclose(f);
    }
    return answer;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    // Unloaded by FreeLibrary the reserved pointer is null; at process exit it is not.
    if (reason == DLL_PROCESS_DETACH) note(reserved ? "unload at exit" : "unload by free");
    return TRUE;
}
