#include "platform/messages.h"
#include "shell/shell.h"

namespace vellora {
namespace {
constexpr std::uint32_t promptHoldOffMs = 200;
constexpr std::uint32_t neverVerified = 0xFFFFFFFFu;
}  // namespace

void setSaverRunning(std::uint32_t on) {
    if (shellState().win9xPlatform) shellServices().setScreenSaverRunning(on);
}

void loadPasswordCheck() {
    ShellState& s = shellState();
    ShellServices& os = shellServices();
    if (!s.win9xPlatform) return;
    if (s.passwordModule) unloadPasswordCheck();
    if (!os.openDesktopKey()) return;
    const std::optional<std::uint32_t> usePassword = os.queryDesktopNumber("ScreenSaveUsePassword");
    if (usePassword.value_or(0) != 0) {
        s.passwordModule = os.loadLibrary("PASSWORD.CPL");
        if (s.passwordModule) {
            s.verifyPassword = os.procAddress(s.passwordModule, "VerifyScreenSavePwd");
            if (s.verifyPassword) {
                setSaverRunning(1);
            } else {
                unloadPasswordCheck();
            }
        }
    }
    os.closeDesktopKey();
}

void unloadPasswordCheck() {
    ShellState& s = shellState();
    if (!s.win9xPlatform || !s.passwordModule) return;
    shellServices().freeLibrary(s.passwordModule);
    s.passwordModule = 0;
    if (s.verifyPassword) {
        s.verifyPassword = 0;
        setSaverRunning(0);
    }
}

std::uint32_t verifyBeforeClose(WindowHandle window) {
    ShellState& s = shellState();
    ShellServices& os = shellServices();
    if (s.verifying) return 0;
    if (!s.verifyPassword) {
        s.closing = 1;
        return 1;
    }
    // A refused prompt holds back the requests that follow right after it.
    const std::uint32_t now = platform().clock->tickCount();
    if (s.lastVerifyTick != neverVerified && now - s.lastVerifyTick < promptHoldOffMs) return 0;
    s.verifying = 1;
    os.removeTimerMessage(window);
    os.removeTimerMessage(window);
    const MessageResult verdict = os.sendMessage(window, msg::verifyRequest, 0, 0);
    // The check's own answer is kept, whatever non-zero value it gives.
    s.closing = static_cast<std::uint32_t>(verdict);
    s.verifying = 0;
    if (!s.closing) os.hideCursor();
    s.lastVerifyTick = platform().clock->tickCount();
    return s.closing;
}

MessageResult verifyWithPasswordCheck(WindowHandle window) {
    return shellServices().callVerifyPassword(shellState().verifyPassword, window);
}

void changePassword(WindowHandle owner) {
    ShellServices& os = shellServices();
    const std::uintptr_t module = os.loadLibrary("MPR.DLL");
    if (!module) return;
    if (const std::uintptr_t change = os.procAddress(module, "PwdChangePasswordA"))
        os.callChangePassword(change, "SCRSAVE", owner);
    os.freeLibrary(module);
}

}  // namespace vellora
