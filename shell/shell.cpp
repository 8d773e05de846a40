#include "shell/shell.h"

namespace vellora {
namespace {

ShellState state;

constexpr std::uint32_t win32Windows = 1;  // VER_PLATFORM_WIN32_WINDOWS
constexpr std::int32_t xVirtualScreen = 76, yVirtualScreen = 77, cxVirtualScreen = 78, cyVirtualScreen = 79;

bool isModeFiller(char c) { return c == ' ' || c == '-' || c == '/'; }

const char* skipSpaces(const char* p) {
    while (*p == ' ') ++p;
    return p;
}

// A handle only counts when it names a live window.
WindowHandle liveWindowAt(const char* text) {
    const WindowHandle handle = parseWindowHandle(text);
    return handle != 0 && shellServices().isWindow(handle) ? handle : 0;
}

SaverWindowForm fullScreenForm() {
    ShellServices& os = shellServices();
    SaverWindowForm form{topmostExStyle, saverClassName, fullScreenTitle, fullScreenStyle, 0, 0, 0, 0, 0};
    form.left = os.systemMetric(xVirtualScreen);
    form.top = os.systemMetric(yVirtualScreen);
    form.width = os.systemMetric(cxVirtualScreen);
    form.height = os.systemMetric(cyVirtualScreen);
    if (form.width == 0 || form.height == 0) {
        const ScreenRect box = os.screenClipBox();
        form.left = box.left;
        form.top = box.top;
        form.width = box.right - box.left;
        form.height = box.bottom - box.top;
    }
    return form;
}

SaverWindowForm previewForm(WindowHandle parent) {
    const ScreenRect client = shellServices().clientRect(parent);
    return {0, saverClassName, previewTitle, previewStyle, 0, 0, client.right, client.bottom, parent};
}

}  // namespace

ShellState& shellState() { return state; }
void resetShellState() { state = ShellState{}; }

const char* skipProgramName(const char* p) {
    ShellServices& os = shellServices();
    if (*p == '"') {
        p = os.nextChar(p);
        while (*p && *p != '"') p = os.nextChar(p);
        if (*p == '"') p = os.nextChar(p);
    } else if (static_cast<unsigned char>(*p) > 0x20) {
        while (static_cast<unsigned char>(*p) > 0x20) p = os.nextChar(p);
    }
    while (*p && static_cast<unsigned char>(*p) <= 0x20) p = os.nextChar(p);
    return p;
}

std::intptr_t shellMain(std::uintptr_t instance, const char* commandText) {
    ShellServices& os = shellServices();
    os.initCommonControls();
    state.appInstance = instance;
    state.win9xPlatform = os.platformId() == win32Windows ? 1 : 0;
    return os.runGuarded([commandText] { return selectMode(commandText); }, [] { setSaverRunning(0); });
}

std::uint32_t parseWindowHandle(const char* text) {
    std::uint32_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) value = value * 10u + static_cast<std::uint32_t>(*text - '0');
    return value;
}

std::intptr_t selectMode(const char* p) {
    ShellServices& os = shellServices();
    while (isModeFiller(*p)) ++p;
    switch (*p) {
    case '\0':
        return showSettingsDialog(0);
    case 's':
    case 'S':
        return runSaverWindow(0);
    case 'p':
    case 'P':
    case 'l':
    case 'L': {
        const WindowHandle parent = liveWindowAt(skipSpaces(p + 1));
        return parent ? runSaverWindow(parent) : -1;
    }
    case 'c':
    case 'C': {
        WindowHandle owner = p[1] == ':' ? liveWindowAt(p + 2) : 0;
        if (!owner) owner = os.foregroundWindow();
        return showSettingsDialog(owner);
    }
    case 'a':
    case 'A': {
        if (!state.win9xPlatform) return -1;
        WindowHandle owner = liveWindowAt(skipSpaces(p + 1));
        if (!owner) owner = os.foregroundWindow();
        changePassword(owner);
        return 0;
    }
    default:
        return -1;
    }
}

std::uint32_t beforeSettingsDialog(std::uintptr_t) { return 1; }

std::intptr_t showSettingsDialog(WindowHandle owner) {
    if (beforeSettingsDialog(state.appInstance) == 0) return 0;
    return shellServices().runSettingsDialog(owner);
}

std::intptr_t runSaverWindow(WindowHandle parent) {
    ShellServices& os = shellServices();
    const SaverClass saverClass{saverClassName, saverClassStyle, appIconResource};
    SaverWindowForm form;
    if (parent) {
        form = previewForm(parent);
        state.previewMode = 1;
    } else {
        form = fullScreenForm();
        const WindowHandle running = os.findTopLevelWindow(saverClassName, fullScreenTitle);
        if (running && os.isWindow(running)) {
            os.setForegroundWindow(running);
            return 0;
        }
        state.acLineStatus = os.acLineStatus().value_or(255);
        loadPasswordCheck();
    }
    state.autoPlayMessage = state.win9xPlatform ? os.registerMessage("QueryCancelAutoPlay") : 0;

    if (os.registerSaverClass(saverClass)) state.saverWindow = os.createSaverWindow(form);
    std::intptr_t result = 0;
    if (state.saverWindow) {
        if (!state.previewMode) os.setForegroundWindow(state.saverWindow);
        result = os.runMessageLoop();
    }
    unloadPasswordCheck();
    return result;
}

}  // namespace vellora
