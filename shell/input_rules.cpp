#include "platform/messages.h"
#include "shell/shell.h"
#include "slideshow/controller.h"

namespace vellora {
namespace {

constexpr WParam scNextWindow = 0xF040, scPrevWindow = 0xF050, scScreenSave = 0xF140, scMonitorPower = 0xF170;
constexpr WParam powerCriticalResume = 3;
constexpr LParam resumeFromFailure = 1;

void postCloseRequest(WindowHandle window) { shellServices().postMessage(window, msg::close, 0, 0); }

void hidePointer() { shellServices().hideCursor(); }

void detachInputMethod(WindowHandle window) {
    ShellState& s = shellState();
    ShellServices& os = shellServices();
    s.imeModule = os.loadedModule("IMM32.DLL");
    if (!s.imeModule) return;
    s.associateContext = os.procAddress(s.imeModule, "ImmAssociateContext");
    if (s.associateContext) s.savedInputContext = os.associateContext(s.associateContext, window, 0);
}

void reattachInputMethod(WindowHandle window) {
    const ShellState& s = shellState();
    if (s.imeModule && s.associateContext && s.savedInputContext)
        shellServices().associateContext(s.associateContext, window, s.savedInputContext);
}

bool isInput(MessageId m) {
    return m == msg::keyDown || m == msg::sysKeyDown || m == msg::mouseMove || m == msg::lButtonDown ||
           m == msg::rButtonDown || m == msg::mButtonDown;
}

std::uint32_t mouseTravel(ScreenPoint from, ScreenPoint to) {
    auto distance = [](std::int32_t a, std::int32_t b) {
        return a > b ? static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b)
                     : static_cast<std::uint32_t>(b) - static_cast<std::uint32_t>(a);
    };
    return distance(to.x, from.x) + distance(to.y, from.y);
}

bool powerEventEndsShow(WParam event, LParam flags) {
    ShellState& s = shellState();
    switch (event) {
    case 6:
    case 7:
    case 8:
    case 18:  // resume events, unless the resume follows a failure
        return (flags & resumeFromFailure) == 0;
    case 10: {  // power status change: only a change of the AC line status ends the show
        const std::uint8_t status = shellServices().acLineStatus().value_or(255);
        const bool changed = status != s.acLineStatus;
        s.acLineStatus = status;
        return changed;
    }
    default:
        return true;
    }
}

// Step 4 of the default handling. Returns true when it produced the result itself.
bool actOnInput(WindowHandle window, MessageId message, WParam wParam, LParam lParam, MessageResult& result) {
    ShellState& s = shellState();
    switch (message) {
    case msg::keyDown:
    case msg::sysKeyDown:
    case msg::lButtonDown:
    case msg::rButtonDown:
    case msg::mButtonDown:
        postCloseRequest(window);
        break;
    case msg::mouseMove: {
        const ScreenPoint now = shellServices().cursorPos();
        if (mouseTravel(s.cursorAnchor, now) > s.mouseThreshold) {
            postCloseRequest(window);
            s.cursorAnchor = now;
        }
        break;
    }
    case msg::showWindow:
        if (wParam != 0) hidePointer();
        break;
    case msg::activateApp:
        if (wParam == 0) postCloseRequest(window);
        break;
    case msg::setCursor:
        hidePointer();
        result = 1;
        return true;
    case msg::power:
        if (wParam == powerCriticalResume) postCloseRequest(window);
        break;
    case msg::powerBroadcast:
        if (powerEventEndsShow(wParam, lParam)) postCloseRequest(window);
        break;
    default:
        break;
    }
    return false;
}

}  // namespace

MessageResult shellWindowProc(WindowHandle window, MessageId message, WParam wParam, LParam lParam) {
    ShellState& s = shellState();
    ShellServices& os = shellServices();
    auto passOn = [&] { return slideshowProc(window, message, wParam, lParam); };
    auto platformDefault = [&] { return platform().windows->defaultProc(window, message, wParam, lParam); };

    switch (message) {
    case msg::create:
        detachInputMethod(window);
        s.cursorAnchor = os.cursorPos();
        if (!s.previewMode) hidePointer();
        return passOn();
    case msg::destroy:
        reattachInputMethod(window);
        platform().windows->postQuit(0);
        return passOn();
    case msg::setText:
        return 0;
    case msg::paint:
        if (s.closing) return platformDefault();
        if (!s.previewMode) hidePointer();
        return passOn();
    case msg::help:
    case msg::contextMenu:
        if (!s.previewMode) return passOn();
        if (const WindowHandle parent = os.parentOf(window); parent && os.isWindow(parent))
            os.postMessage(parent, message, parent, lParam);
        return 1;
    case msg::sysCommand:
        if (s.previewMode) return passOn();
        if (wParam == scNextWindow || wParam == scPrevWindow || wParam == scScreenSave) return 0;
        if (wParam == scMonitorPower) postCloseRequest(window);
        return passOn();
    case msg::timer:
        if (s.closing) return 0;
        platform().clock->sleep(0);
        return passOn();
    default:
        if (isInput(message) && s.closing) return platformDefault();
        return passOn();
    }
}

MessageResult shellDefaultProc(WindowHandle window, MessageId message, WParam wParam, LParam lParam) {
    ShellState& s = shellState();
    if (!s.previewMode && !s.closing) {
        if (message == msg::close) {
            if (s.win9xPlatform && !verifyBeforeClose(window)) {
                s.cursorAnchor = shellServices().cursorPos();
                return 0;
            }
        } else if (message == msg::verifyRequest) {
            if (s.win9xPlatform) return s.verifyPassword ? verifyWithPasswordCheck(window) : 1;
        } else if (!s.verifying) {
            MessageResult result = 0;
            if (actOnInput(window, message, wParam, lParam, result)) return result;
        }
    }
    if (s.autoPlayMessage != 0 && message == s.autoPlayMessage) {
        postCloseRequest(window);
        return s.verifyPassword ? 1 : 0;
    }
    return platform().windows->defaultProc(window, message, wParam, lParam);
}

}  // namespace vellora
