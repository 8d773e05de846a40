// The shell services that are the same on every Linux display system: the
// Windows-only services (code pages, common controls, power, input methods,
// passwords of Windows 95/98/Me) answer as a system without them does.
//
// Contract: a display system's shell derives from UnixShell and implements the
// window, pointer and message-loop services; everything here answers "none".
#pragma once

#include "platform/shell_services.h"

namespace vellora::linux_platform {

class UnixShell : public ShellServices {
public:
    const char* nextChar(const char* text) override { return *text ? text + 1 : text; }
    void initCommonControls() override {}
    // Not a Windows 95/98/Me system: no password services.
    std::optional<std::uint32_t> platformId() override { return std::nullopt; }
    WindowHandle foregroundWindow() override { return 0; }
    std::optional<std::uint8_t> acLineStatus() override { return std::nullopt; }
    MessageId registerMessage(const char*) override { return 0; }
    bool registerSaverClass(const SaverClass&) override { return true; }
    std::intptr_t runSettingsDialog(WindowHandle) override { return -1; }
    std::intptr_t runGuarded(const std::function<std::intptr_t()>& body, const std::function<void()>&) override {
        return body();
    }
    WindowHandle parentOf(WindowHandle) override { return 0; }
    std::uintptr_t loadedModule(const char*) override { return 0; }
    std::uintptr_t procAddress(std::uintptr_t, const char*) override { return 0; }
    std::uintptr_t associateContext(std::uintptr_t, WindowHandle, std::uintptr_t) override { return 0; }
    std::uint32_t callVerifyPassword(std::uintptr_t, WindowHandle) override { return 1; }
    bool openDesktopKey() override { return false; }
    std::optional<std::uint32_t> queryDesktopNumber(const char*) override { return std::nullopt; }
    void closeDesktopKey() override {}
    std::uintptr_t loadLibrary(const char*) override { return 0; }
    void freeLibrary(std::uintptr_t) override {}
    void setScreenSaverRunning(std::uint32_t) override {}
    void callChangePassword(std::uintptr_t, const char*, WindowHandle) override {}
};

}  // namespace vellora::linux_platform
