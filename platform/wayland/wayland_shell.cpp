// The shell's services on Wayland: the show's forms, the pointer and the message loop.
#include <signal.h>

#include "platform/linux/show_pid_file.h"
#include "platform/linux/unix_shell.h"
#include "platform/messages.h"
#include "platform/wayland/wayland_internal.h"

namespace vellora::linux_platform::wayland {
namespace {

constexpr std::int32_t cxVirtualScreen = 78, cyVirtualScreen = 79;

bool isOtherShow(WindowHandle window) {
    if (window <= otherShowBase || window - otherShowBase > 0x7FFFFFFF) return false;
    return kill(static_cast<pid_t>(window - otherShowBase), 0) == 0;
}

class WaylandShell : public UnixShell {
public:
    bool isWindow(WindowHandle window) override {
        const ShowSurface* s = showSurface();
        if (window == fullScreenHandle) return eventLoop().show == fullScreenHandle && !eventLoop().destroyed;
        if (window == ownWindowHandle)
            return s && s->role == ShowSurface::Role::ownWindow && !eventLoop().destroyed;
        return isOtherShow(window);
    }
    void setForegroundWindow(WindowHandle) override {}
    ScreenRect clientRect(WindowHandle window) override {
        const ShowSurface* s = showSurface();
        if (!isWindow(window) || !s || !s->canvas) return {};
        return {0, 0, s->canvas->width(), s->canvas->height()};
    }
    std::int32_t systemMetric(std::int32_t index) override {
        // The whole screen, as the shell sees it, is the output the show runs on.
        const DeviceSize screen = showOutputDeviceSize();
        if (index == cxVirtualScreen) return screen.width;
        if (index == cyVirtualScreen) return screen.height;
        return 0;
    }
    ScreenRect screenClipBox() override {
        const DeviceSize screen = showOutputDeviceSize();
        return {0, 0, screen.width, screen.height};
    }
    WindowHandle findTopLevelWindow(const char*, const char*) override {
        // Another program's surfaces are out of sight on Wayland: the running show is
        // found by its record. The first show has looked already, and found none.
        if (monitorPlan().followsFirst) return 0;
        const std::optional<pid_t> running = runningShow(waylandRecordName());
        return running ? otherShowBase + static_cast<WindowHandle>(*running) : 0;
    }
    WindowHandle createSaverWindow(const SaverWindowForm& form) override {
        EventLoop& loop = eventLoop();
        if (form.parent) {
            loop.show = form.parent;
        } else {
            loop.show = fullScreenHandle;
            loop.fullScreen = true;
            if (!createFullScreenSurface()) return 0;
            if (!monitorPlan().followsFirst) {
                recordRunningShow(waylandRecordName());
                startOtherMonitors();
            }
        }
        if (!awaitFirstConfigure()) return 0;
        dispatch(loop.show, msg::create, 0, 0);
        if (!loop.destroyed && !ended()) dispatch(loop.show, msg::showWindow, 1, 0);
        return loop.show;
    }
    std::intptr_t runMessageLoop() override {
        EventLoop& loop = eventLoop();
        while (!ended()) {
            if (handleOne()) continue;
            waitForCompositor(loop.timers.millisecondsToNext(nowMs()));
        }
        return loop.exitCode(surfaceLost());
    }
    void postMessage(WindowHandle window, MessageId message, WParam wParam, LParam lParam) override {
        eventLoop().posted.push_back({window, message, wParam, lParam});
    }
    // The cursor goes each time the pointer enters the show.
    void hideCursor() override {}
    ScreenPoint cursorPos() override { return pointerPosition(); }
    MessageResult sendMessage(WindowHandle window, MessageId message, WParam wParam, LParam lParam) override {
        return dispatch(window, message, wParam, lParam);
    }
    void removeTimerMessage(WindowHandle) override { eventLoop().timers.dropPending(nowMs()); }
};

}  // namespace

ShellServices& shell() {
    static WaylandShell shell;
    return shell;
}

}  // namespace vellora::linux_platform::wayland
