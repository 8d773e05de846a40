// The shell's services on X11: the show window's forms, the pointer and the message loop.
#include <X11/Xutil.h>

#include <algorithm>

#include "platform/linux/show_pid_file.h"
#include "platform/linux/unix_shell.h"
#include "platform/messages.h"
#include "platform/x11/x11_loop.h"

namespace vellora::linux_platform {
namespace {

constexpr std::int32_t xVirtualScreen = 76, yVirtualScreen = 77, cxVirtualScreen = 78, cyVirtualScreen = 79;
constexpr long inputEvents = KeyPressMask | ButtonPressMask | PointerMotionMask | FocusChangeMask;
constexpr long windowEvents = ExposureMask | StructureNotifyMask;

// The first full-screen show watches the monitors for all and, once its window is
// there to be found by any later start, starts the shows of the other monitors.
void startOtherMonitors() {
    X11Session& s = session();
    if (s.followsFirst) return;
    watchMonitorChanges();
    if (!s.otherMonitors.empty() && !startMonitorShows(s.arguments, s.otherMonitors)) requestStop();
}

class X11Shell : public UnixShell {
public:
    bool isWindow(WindowHandle window) override {
        XWindowAttributes attributes{};
        return window != 0 && window <= 0xFFFFFFFFu && windowAttributes(static_cast<Window>(window), attributes);
    }
    void setForegroundWindow(WindowHandle window) override {
        // Only the first show grabs: the grab takes every monitor's input to it.
        if (window == eventLoop().show.xid && eventLoop().show.fullScreen && !eventLoop().show.destroyed && !ended() &&
            !session().followsFirst)
            grabInput();
    }
    ScreenRect clientRect(WindowHandle window) override {
        XWindowAttributes attributes{};
        if (!windowAttributes(static_cast<Window>(window), attributes)) return {};
        return {0, 0, attributes.width, attributes.height};
    }
    // The full-screen window covers its monitor, or the whole screen when there is one monitor.
    std::int32_t systemMetric(std::int32_t index) override {
        const std::optional<MonitorArea>& monitor = session().monitor;
        if (index == xVirtualScreen) return monitor ? monitor->left : 0;
        if (index == yVirtualScreen) return monitor ? monitor->top : 0;
        const DeviceMetrics area = showAreaMetrics();
        if (index == cxVirtualScreen) return area.horzRes;
        if (index == cyVirtualScreen) return area.vertRes;
        return 0;
    }
    ScreenRect screenClipBox() override {
        const DeviceMetrics screen = screenMetrics();
        return {0, 0, screen.horzRes, screen.vertRes};
    }
    WindowHandle findTopLevelWindow(const char* className, const char* title) override {
        // The first show has looked already, and its window is the one found.
        if (session().followsFirst) return 0;
        Display* d = session().display;
        Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) return 0;
        WindowHandle found = 0;
        for (unsigned i = 0; i < count && !found; ++i)
            if (children[i] != eventLoop().show.xid && windowIs(children[i], className, title)) found = children[i];
        if (children) XFree(children);
        return found;
    }
    WindowHandle createSaverWindow(const SaverWindowForm& form) override {
        Display* d = session().display;
        if (form.parent) {
            // The window the program was handed (or made for trying it out) is itself the show window.
            eventLoop().show.xid = static_cast<Window>(form.parent);
            eventLoop().show.owned = eventLoop().show.xid == eventLoop().ownWindow;
            XSelectInput(d, eventLoop().show.xid, windowEvents);
        } else {
            XSetWindowAttributes attributes{};
            attributes.override_redirect = True;
            attributes.background_pixel = BlackPixel(d, session().screen);
            attributes.event_mask = windowEvents | inputEvents;
            eventLoop().show.xid = XCreateWindow(d, RootWindow(d, session().screen), form.left, form.top,
                                     static_cast<unsigned>(std::max(form.width, 1)),
                                     static_cast<unsigned>(std::max(form.height, 1)), 0, CopyFromParent, InputOutput,
                                     CopyFromParent, CWOverrideRedirect | CWBackPixel | CWEventMask, &attributes);
            XStoreName(d, eventLoop().show.xid, form.title);
            // Class and title let a second full-screen start find this one.
            XClassHint hint{const_cast<char*>("vellora"), const_cast<char*>(form.className)};
            XSetClassHint(d, eventLoop().show.xid, &hint);
            eventLoop().show.owned = eventLoop().show.fullScreen = true;
            XMapRaised(d, eventLoop().show.xid);
            // The window lets a second start find the show; the record lets `vellora --stop` end it.
            if (!session().followsFirst) recordRunningShow(x11RecordName());
            startOtherMonitors();
        }
        XSync(d, False);
        const auto window = static_cast<WindowHandle>(eventLoop().show.xid);
        dispatch(window, msg::create, 0, 0);
        if (!eventLoop().show.destroyed && !ended()) dispatch(window, msg::showWindow, 1, 0);
        return window;
    }
    std::intptr_t runMessageLoop() override {
        while (!ended()) {
            if (handleOne()) continue;
            XFlush(session().display);
            waitForWork(eventLoop().timers.millisecondsToNext(nowMs()));
        }
        // A stop signal or a vanished window ends the show quietly.
        return eventLoop().exitCode(session().windowGone);
    }
    void postMessage(WindowHandle window, MessageId message, WParam wParam, LParam lParam) override {
        eventLoop().posted.push_back({window, message, wParam, lParam});
    }
    void hideCursor() override {
        if (!eventLoop().show.fullScreen || eventLoop().show.destroyed) return;
        XDefineCursor(session().display, eventLoop().show.xid, blankCursor());
    }
    ScreenPoint cursorPos() override {
        Display* d = session().display;
        Window root = 0, child = 0;
        int rootX = 0, rootY = 0, x = 0, y = 0;
        unsigned mask = 0;
        XQueryPointer(d, DefaultRootWindow(d), &root, &child, &rootX, &rootY, &x, &y, &mask);
        return {rootX, rootY};
    }
    MessageResult sendMessage(WindowHandle window, MessageId message, WParam wParam, LParam lParam) override {
        return dispatch(window, message, wParam, lParam);
    }
    void removeTimerMessage(WindowHandle) override { eventLoop().timers.dropPending(nowMs()); }
};

}  // namespace

Window createOwnWindow() {
    Display* d = session().display;
    const int s = session().screen;
    const unsigned width = static_cast<unsigned>(std::max(DisplayWidth(d, s) / 2, 1));
    const unsigned height = static_cast<unsigned>(std::max(DisplayHeight(d, s) / 2, 1));
    eventLoop().ownWindow = XCreateSimpleWindow(d, RootWindow(d, s), 0, 0, width, height, 0, BlackPixel(d, s), BlackPixel(d, s));
    XStoreName(d, eventLoop().ownWindow, "Vellora");
    XSetWMProtocols(d, eventLoop().ownWindow, &session().deleteWindow, 1);
    XMapWindow(d, eventLoop().ownWindow);
    XSync(d, False);
    return eventLoop().ownWindow;
}

ShellServices& shell() {
    static X11Shell shell;
    return shell;
}

}  // namespace vellora::linux_platform
