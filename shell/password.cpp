#include "platform/messages.h"
#include "shell/shell.h"

namespace vellora {
namespace {
constexpr std::uint32_t promptHoldOffMs = 200;
}

// Finding and loading the system's password check comes with the Windows 95/98/Me
// password support; until then no check is ever loaded and closing needs none.
void loadPasswordCheck() {}

void unloadPasswordCheck() {
    ShellState& s = shellState();
    if (!s.win9xPlatform || !s.passwordModule) return;
    s.passwordModule = 0;
    if (s.verifyPassword) {
        s.verifyPassword = 0;
        setSaverRunning(0);
    }
}

void setSaverRunning(std::uint32_t) {}

std::uint32_t verifyBeforeClose(WindowHandle window) {
    ShellState& s = shellState();
    ShellServices& os = shellServices();
    if (s.verifying) return 0;
    if (!s.verifyPassword) {
        s.closing = 1;
        return 1;
    }
    const std::uint32_t now = platform().clock->tickCount();
    if (s.lastVerifyTick != 0xFFFFFFFFu && now - s.lastVerifyTick < promptHoldOffMs) return 0;
    s.verifying = 1;
    os.removeTimerMessage(window);
    os.removeTimerMessage(window);
    const MessageResult verdict = os.sendMessage(window, msg::verifyRequest, 0, 0);
    s.closing = verdict != 0 ? 1 : 0;
    s.verifying = 0;
    if (!verdict) os.hideCursor();
    s.lastVerifyTick = platform().clock->tickCount();
    return s.closing;
}

MessageResult verifyWithPasswordCheck(WindowHandle window) {
    return shellServices().callVerifyPassword(shellState().verifyPassword, window);
}

void changePassword(WindowHandle) {}

}  // namespace vellora
