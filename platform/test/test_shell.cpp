#include "platform/test/test_shell.h"

#include "platform/messages.h"
#include "shell/shell.h"

namespace vellora::test {
namespace {
std::string number(long long v) { return std::to_string(v); }
}  // namespace

// Lead bytes of the GBK code page take their trail byte with them.
const char* TestShell::nextChar(const char* text) {
    if (*text == '\0') return text;
    const auto lead = static_cast<unsigned char>(*text);
    if (lead >= 0x81 && lead <= 0xFE && text[1] != '\0') return text + 2;
    return text + 1;
}

void TestShell::setForegroundWindow(WindowHandle window) { log_.push_back("foreground " + number(window)); }

bool TestShell::registerSaverClass(const SaverClass& c) {
    log_.push_back("registerclass " + std::string(c.name) + " " + number(c.style) + " " + number(c.iconResource));
    return classRegisters;
}

WindowHandle TestShell::createSaverWindow(const SaverWindowForm& s) {
    log_.push_back("create " + number(s.exStyle) + " " + s.className + "|" + s.title + " " + number(s.style) + " " +
                   number(s.left) + " " + number(s.top) + " " + number(s.width) + " " + number(s.height) + " " +
                   number(s.parent));
    if (windowToCreate) {
        liveWindows.insert(windowToCreate);
        shellWindowProc(windowToCreate, msg::create, 0, 0);
    }
    return windowToCreate;
}

std::intptr_t TestShell::runMessageLoop() {
    log_.push_back("loop");
    return quitCode;
}

std::intptr_t TestShell::runSettingsDialog(WindowHandle owner) {
    log_.push_back("dialog " + number(owner));
    return dialogResult;
}

std::intptr_t TestShell::runGuarded(const std::function<std::intptr_t()>& body,
                                    const std::function<void()>& onHandledFault) {
    if (!faultInBody) return body();
    log_.push_back("fault");
    if (!systemHandlesFault) return -2;  // stands for the fault going on to the system
    onHandledFault();
    return -1;
}

void TestShell::postMessage(WindowHandle window, MessageId message, WParam wParam, LParam lParam) {
    log_.push_back("post " + number(window) + " " + number(message) + " " + number(static_cast<long long>(wParam)) +
                   " " + number(lParam));
}

std::uintptr_t TestShell::associateContext(std::uintptr_t, WindowHandle window, std::uintptr_t context) {
    log_.push_back("associate " + number(window) + " " + number(static_cast<long long>(context)));
    return previousContext;
}

MessageResult TestShell::sendMessage(WindowHandle window, MessageId message, WParam wParam, LParam lParam) {
    log_.push_back("send " + number(window) + " " + number(message) + " " + number(static_cast<long long>(wParam)) +
                   " " + number(lParam));
    return shellWindowProc(window, message, wParam, lParam);
}

void TestShell::removeTimerMessage(WindowHandle window) {
    log_.push_back("removetimer " + number(window));
}

std::uint32_t TestShell::callVerifyPassword(std::uintptr_t, WindowHandle window) {
    log_.push_back("verify " + number(window));
    if (duringVerify) duringVerify();
    return verifyAnswer;
}

bool TestShell::openDesktopKey() {
    log_.push_back("openkey");
    return desktopKeyOpens;
}

// As RegQueryValueExA into a 4-byte buffer: longer data fail, shorter data fill
// the low bytes of a number that starts at 0.
std::optional<std::uint32_t> TestShell::queryDesktopNumber(const char* name) {
    auto it = desktopValues.find(name);
    if (it == desktopValues.end() || it->second.size() > 4) return std::nullopt;
    std::uint32_t number = 0;
    for (std::size_t i = 0; i < it->second.size(); ++i)
        number |= static_cast<std::uint32_t>(static_cast<unsigned char>(it->second[i])) << (8 * i);
    return number;
}

std::uintptr_t TestShell::loadLibrary(const char* name) {
    log_.push_back(std::string("load ") + name);
    return libraries.count(name) ? libraries[name] : 0;
}

void TestShell::freeLibrary(std::uintptr_t module) { log_.push_back("free " + number(static_cast<long long>(module))); }

void TestShell::setScreenSaverRunning(std::uint32_t on) { log_.push_back("running " + number(on)); }

void TestShell::callChangePassword(std::uintptr_t, const char* provider, WindowHandle owner) {
    log_.push_back(std::string("changepassword ") + provider + " " + number(owner));
}

}  // namespace vellora::test
