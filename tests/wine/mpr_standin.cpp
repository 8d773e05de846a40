// Stand-in for "MPR.DLL", for the tests under Wine only: PwdChangePasswordA writes
// its arguments to C:\standin\log.txt.
#include <windows.h>

#include <cstdio>

extern "C" __declspec(dllexport) DWORD WINAPI PwdChangePasswordA(LPCSTR provider, HWND owner, DWORD flags,
                                                                 void* reserved) {
    if (FILE* f = std::fopen("C:\\standin\\log.txt", "a")) {
        std::fprintf(f, "change %s %lu %lu %p\n", provider, static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(owner)),
                     static_cast<unsigned long>(flags), reserved);
        std::fclose(f);
    }
    return 0;
}
