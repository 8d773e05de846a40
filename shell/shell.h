// The saver shell: start-up, mode selection, the saver window and its input rules,
// and the Windows 95/98/Me password services.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "platform/shell_services.h"

namespace vellora {

struct ShellState {
    std::uintptr_t appInstance = 0;
    std::uint32_t win9xPlatform = 0;
    std::uint32_t previewMode = 0;
    WindowHandle saverWindow = 0;
    MessageId autoPlayMessage = 0;
    std::uint8_t acLineStatus = 255;
    std::uint32_t closing = 0;
    std::uint32_t verifying = 0;
    ScreenPoint cursorAnchor;
    std::uint32_t mouseThreshold = 4;
    std::uintptr_t imeModule = 0;
    std::uintptr_t associateContext = 0;
    std::uintptr_t savedInputContext = 0;
    std::uintptr_t passwordModule = 0;
    std::uintptr_t verifyPassword = 0;
    std::uint32_t lastVerifyTick = 0xFFFFFFFFu;
};

ShellState& shellState();
void resetShellState();

inline constexpr const char* saverClassName = "WindowsScreenSaverClass";
inline constexpr const char* fullScreenTitle = "Screen Saver";
inline constexpr const char* previewTitle = "Preview";
inline constexpr std::uint32_t saverClassStyle = 0x2B;
inline constexpr std::uint32_t fullScreenStyle = 0x96000000u;
inline constexpr std::uint32_t previewStyle = 0x52000000u;
inline constexpr std::uint32_t topmostExStyle = 0x8;
inline constexpr std::uint32_t appIconResource = 100;

// The command text after the program name, stepping by whole characters.
const char* skipProgramName(const char* commandLine);
std::intptr_t shellMain(std::uintptr_t instance, const char* commandText);
std::intptr_t selectMode(const char* commandText);
std::uint32_t parseWindowHandle(const char* text);
std::intptr_t showSettingsDialog(WindowHandle owner);
std::uint32_t beforeSettingsDialog(std::uintptr_t instance);
std::intptr_t runSaverWindow(WindowHandle parent);

MessageResult shellWindowProc(WindowHandle window, MessageId message, WParam wParam, LParam lParam);
// The shell's default handling, after the slideshow controller; what it does not
// consume goes to the platform's default window procedure.
MessageResult shellDefaultProc(WindowHandle window, MessageId message, WParam wParam, LParam lParam);

// Password services; on the NT family each does nothing.
void loadPasswordCheck();
void unloadPasswordCheck();
void setSaverRunning(std::uint32_t on);
std::uint32_t verifyBeforeClose(WindowHandle window);
// Answers the verify request: the password check's verdict on the window.
MessageResult verifyWithPasswordCheck(WindowHandle window);
void changePassword(WindowHandle owner);

}  // namespace vellora
