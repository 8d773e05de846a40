// The show window, its timers and the event loop: X events become the shell's
// window messages, so the input and close rules are the same code as on Windows.
#include <poll.h>
#include <sched.h>
#include <time.h>

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <optional>

#include "platform/linux/linux_internal.h"
#include "platform/linux/window_timers.h"
#include "platform/messages.h"
#include "shell/shell.h"
#include "slideshow/controller.h"
#include "slideshow/slide_state.h"

namespace vellora::linux_platform {
namespace {

constexpr std::int32_t xVirtualScreen = 76, yVirtualScreen = 77, cxVirtualScreen = 78, cyVirtualScreen = 79;
constexpr long inputEvents = KeyPressMask | ButtonPressMask | PointerMotionMask | FocusChangeMask;
constexpr long windowEvents = ExposureMask | StructureNotifyMask;

std::uint64_t nowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

struct PostedMessage {
    WindowHandle window;
    MessageId message;
    WParam wParam;
    LParam lParam;
};

struct ShowWindow {
    Window xid = 0;
    bool owned = false;       // made by this program, so destroyed by it
    bool fullScreen = false;  // takes all input and hides the pointer
    bool destroyed = false;
    std::unique_ptr<WindowCanvas> canvas;
};

// The process's one event loop: like the message queue it stands for, process-wide.
struct EventLoop {
    Window ownWindow = 0;
    ShowWindow show;
    std::deque<PostedMessage> posted;
    WindowTimers timers;
    bool quitPosted = false;
    std::intptr_t quitCode = 0;
} loop;

bool errorSeen = false;
int recordError(Display*, XErrorEvent*) {
    errorSeen = true;
    return 0;
}

// Asks about a window that may not exist without the answer counting as the show's window vanishing.
bool windowAttributes(Window window, XWindowAttributes& attributes) {
    Display* d = session().display;
    XSync(d, False);
    errorSeen = false;
    const XErrorHandler previous = XSetErrorHandler(recordError);
    const Status status = XGetWindowAttributes(d, window, &attributes);
    XSync(d, False);
    XSetErrorHandler(previous);
    return status != 0 && !errorSeen;
}

bool windowIs(Window window, const char* className, const char* title) {
    Display* d = session().display;
    XClassHint hint{};
    char* name = nullptr;
    // Another client's window may go at any moment: asked under the error trap.
    XSync(d, False);
    errorSeen = false;
    const XErrorHandler previous = XSetErrorHandler(recordError);
    const bool hasClass = XGetClassHint(d, window, &hint) != 0;
    const bool hasName = XFetchName(d, window, &name) != 0;
    XSync(d, False);
    XSetErrorHandler(previous);
    const bool match = !errorSeen && hasClass && hasName && hint.res_class && name &&
                       std::strcmp(hint.res_class, className) == 0 && std::strcmp(name, title) == 0;
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
    if (name) XFree(name);
    return match;
}

bool ended() { return loop.quitPosted || stopRequested() || session().windowGone; }

MessageResult dispatch(WindowHandle window, MessageId message, WParam wParam, LParam lParam) {
    return shellWindowProc(window, message, wParam, lParam);
}

Cursor blankCursor() {
    static Cursor cursor = 0;
    if (cursor) return cursor;
    Display* d = session().display;
    static const char none[1] = {0};
    const Pixmap bitmap = XCreateBitmapFromData(d, DefaultRootWindow(d), none, 1, 1);
    XColor black{};
    cursor = XCreatePixmapCursor(d, bitmap, bitmap, &black, &black, 0, 0);
    XFreePixmap(d, bitmap);
    return cursor;
}

void grabInput() {
    Display* d = session().display;
    XSetInputFocus(d, loop.show.xid, RevertToParent, CurrentTime);
    XGrabKeyboard(d, loop.show.xid, True, GrabModeAsync, GrabModeAsync, CurrentTime);
    XGrabPointer(d, loop.show.xid, True, ButtonPressMask | PointerMotionMask, GrabModeAsync, GrabModeAsync, None,
                 blankCursor(), CurrentTime);
    XFlush(d);
}

void releaseInput() {
    Display* d = session().display;
    XUngrabPointer(d, CurrentTime);
    XUngrabKeyboard(d, CurrentTime);
    XFlush(d);
}

void destroyShowWindow(WindowHandle window) {
    if (loop.show.destroyed) return;
    dispatch(window, msg::destroy, 0, 0);
    loop.show.destroyed = true;
    Display* d = session().display;
    if (loop.show.fullScreen) releaseInput();
    if (loop.show.owned) {
        XDestroyWindow(d, loop.show.xid);
    } else {
        XSelectInput(d, loop.show.xid, NoEventMask);
    }
    XFlush(d);
}

void followNewSize(std::int32_t width, std::int32_t height) {
    if (!loop.show.canvas || loop.show.fullScreen) return;
    loop.show.canvas->resize(width, height);
    // The next tick places its picture for the new size.
    if (slideState().hdc == loop.show.canvas.get()) measureDisplay(*loop.show.canvas);
}

void handleEvent(XEvent& event) {
    if (event.xany.window != loop.show.xid || loop.show.destroyed) return;
    const WindowHandle window = loop.show.xid;
    switch (event.type) {
    case KeyPress:
        dispatch(window, msg::keyDown, event.xkey.keycode, 0);
        break;
    case ButtonPress: {
        const MessageId button = event.xbutton.button == Button1   ? msg::lButtonDown
                                 : event.xbutton.button == Button2 ? msg::mButtonDown
                                 : event.xbutton.button == Button3 ? msg::rButtonDown
                                                                   : 0;  // wheel and extra buttons end nothing
        if (button) dispatch(window, button, 0, 0);
        break;
    }
    case MotionNotify:
        dispatch(window, msg::mouseMove, 0, 0);
        break;
    case FocusOut:
        // Focus moving into our own window or to a grab is no loss of activation.
        if (event.xfocus.mode == NotifyNormal && event.xfocus.detail != NotifyInferior &&
            event.xfocus.detail != NotifyPointer)
            dispatch(window, msg::activateApp, 0, 0);
        break;
    case Expose:
        if (event.xexpose.count == 0) dispatch(window, msg::paint, 0, 0);
        break;
    case ConfigureNotify:
        followNewSize(event.xconfigure.width, event.xconfigure.height);
        break;
    case DestroyNotify:
        session().windowGone = true;
        break;
    case ClientMessage:
        if (static_cast<Atom>(event.xclient.message_type) == session().protocols &&
            static_cast<Atom>(event.xclient.data.l[0]) == session().deleteWindow)
            loop.posted.push_back({window, msg::close, 0, 0});
        break;
    default:
        break;
    }
}

void waitForWork(int timeoutMs) {
    pollfd watched[2] = {{ConnectionNumber(session().display), POLLIN, 0}, {stopWakeDescriptor(), POLLIN, 0}};
    poll(watched, watched[1].fd >= 0 ? 2 : 1, timeoutMs);
}

// Handles one thing in the order Windows does: posted messages, then input and
// window events, then a timer. False when there was nothing to do.
bool handleOne() {
    if (ended()) return false;
    if (!loop.posted.empty()) {
        const PostedMessage m = loop.posted.front();
        loop.posted.pop_front();
        if (!loop.show.destroyed && m.window == loop.show.xid) dispatch(m.window, m.message, m.wParam, m.lParam);
        return true;
    }
    Display* d = session().display;
    if (XPending(d) > 0) {
        XEvent event;
        XNextEvent(d, &event);
        handleEvent(event);
        return true;
    }
    if (loop.show.destroyed) return false;
    if (const std::optional<std::uintptr_t> due = loop.timers.takeDue(nowMs())) {
        dispatch(loop.show.xid, msg::timer, *due, 0);
        return true;
    }
    return false;
}

bool keepDialogOpen() {
    while (handleOne()) {
    }
    return !ended();
}

class X11Windows : public WindowServices {
public:
    Canvas* deviceContext(WindowHandle) override {
        if (!loop.show.canvas) {
            XWindowAttributes attributes{};
            if (!windowAttributes(loop.show.xid, attributes)) return nullptr;
            loop.show.canvas = makeWindowCanvas(loop.show.xid, attributes.width, attributes.height, loop.show.fullScreen);
        }
        return loop.show.canvas.get();
    }
    std::uintptr_t setTimer(WindowHandle, std::uintptr_t id, std::uint32_t periodMs) override {
        loop.timers.set(id, periodMs, nowMs());
        return id;
    }
    void killTimer(WindowHandle, std::uintptr_t id) override { loop.timers.kill(id); }
    void postQuit(int exitCode) override {
        loop.quitPosted = true;
        loop.quitCode = exitCode;
    }
    void messageBox(WindowHandle, const std::string& text, const std::string& caption) override {
        if (ended()) return;
        if (loop.show.fullScreen && !loop.show.destroyed) releaseInput();
        // The settings file's box names the file as it is found on this system.
        runMessageDialog(utf8FromGbk(text), utf8FromGbk(localPath(caption)), keepDialogOpen);
        if (loop.show.fullScreen && !loop.show.destroyed && !ended()) grabInput();
    }
    MessageResult defaultProc(WindowHandle window, MessageId message, WParam, LParam) override {
        if (message == msg::close) destroyShowWindow(window);
        if (message == msg::paint && loop.show.canvas) loop.show.canvas->repaint();
        return 0;
    }
};

class X11Shell : public ShellServices {
public:
    const char* nextChar(const char* text) override { return *text ? text + 1 : text; }
    void initCommonControls() override {}
    // Not a Windows 95/98/Me system: no password services.
    std::optional<std::uint32_t> platformId() override { return std::nullopt; }
    bool isWindow(WindowHandle window) override {
        XWindowAttributes attributes{};
        return window != 0 && window <= 0xFFFFFFFFu && windowAttributes(static_cast<Window>(window), attributes);
    }
    WindowHandle foregroundWindow() override { return 0; }
    void setForegroundWindow(WindowHandle window) override {
        if (window == loop.show.xid && loop.show.fullScreen && !loop.show.destroyed && !ended()) grabInput();
    }
    ScreenRect clientRect(WindowHandle window) override {
        XWindowAttributes attributes{};
        if (!windowAttributes(static_cast<Window>(window), attributes)) return {};
        return {0, 0, attributes.width, attributes.height};
    }
    std::int32_t systemMetric(std::int32_t index) override {
        const DeviceMetrics screen = screenMetrics();
        if (index == cxVirtualScreen) return screen.horzRes;
        if (index == cyVirtualScreen) return screen.vertRes;
        return 0;  // the virtual screen's origin, and anything else
    }
    ScreenRect screenClipBox() override {
        const DeviceMetrics screen = screenMetrics();
        return {0, 0, screen.horzRes, screen.vertRes};
    }
    WindowHandle findTopLevelWindow(const char* className, const char* title) override {
        Display* d = session().display;
        Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) return 0;
        WindowHandle found = 0;
        for (unsigned i = 0; i < count && !found; ++i)
            if (children[i] != loop.show.xid && windowIs(children[i], className, title)) found = children[i];
        if (children) XFree(children);
        return found;
    }
    std::optional<std::uint8_t> acLineStatus() override { return std::nullopt; }
    MessageId registerMessage(const char*) override { return 0; }
    bool registerSaverClass(const SaverClass&) override { return true; }
    WindowHandle createSaverWindow(const SaverWindowForm& form) override {
        Display* d = session().display;
        if (form.parent) {
            // The window the program was handed (or made for trying it out) is itself the show window.
            loop.show.xid = static_cast<Window>(form.parent);
            loop.show.owned = loop.show.xid == loop.ownWindow;
            XSelectInput(d, loop.show.xid, windowEvents);
        } else {
            XSetWindowAttributes attributes{};
            attributes.override_redirect = True;
            attributes.background_pixel = BlackPixel(d, session().screen);
            attributes.event_mask = windowEvents | inputEvents;
            loop.show.xid = XCreateWindow(d, RootWindow(d, session().screen), form.left, form.top,
                                     static_cast<unsigned>(std::max(form.width, 1)),
                                     static_cast<unsigned>(std::max(form.height, 1)), 0, CopyFromParent, InputOutput,
                                     CopyFromParent, CWOverrideRedirect | CWBackPixel | CWEventMask, &attributes);
            XStoreName(d, loop.show.xid, form.title);
            // Class and title let a second full-screen start find this one.
            XClassHint hint{const_cast<char*>("vellora"), const_cast<char*>(form.className)};
            XSetClassHint(d, loop.show.xid, &hint);
            loop.show.owned = loop.show.fullScreen = true;
            XMapRaised(d, loop.show.xid);
        }
        XSync(d, False);
        const auto window = static_cast<WindowHandle>(loop.show.xid);
        dispatch(window, msg::create, 0, 0);
        if (!loop.show.destroyed && !ended()) dispatch(window, msg::showWindow, 1, 0);
        return window;
    }
    std::intptr_t runMessageLoop() override {
        while (!ended()) {
            if (handleOne()) continue;
            XFlush(session().display);
            waitForWork(loop.timers.millisecondsToNext(nowMs()));
        }
        // A stop signal or a vanished window ends the show quietly.
        return loop.quitPosted && !stopRequested() && !session().windowGone ? loop.quitCode : 0;
    }
    std::intptr_t runSettingsDialog(WindowHandle) override { return -1; }
    std::intptr_t runGuarded(const std::function<std::intptr_t()>& body, const std::function<void()>&) override {
        return body();
    }
    void postMessage(WindowHandle window, MessageId message, WParam wParam, LParam lParam) override {
        loop.posted.push_back({window, message, wParam, lParam});
    }
    void hideCursor() override {
        if (!loop.show.fullScreen || loop.show.destroyed) return;
        XDefineCursor(session().display, loop.show.xid, blankCursor());
    }
    ScreenPoint cursorPos() override {
        Display* d = session().display;
        Window root = 0, child = 0;
        int rootX = 0, rootY = 0, x = 0, y = 0;
        unsigned mask = 0;
        XQueryPointer(d, DefaultRootWindow(d), &root, &child, &rootX, &rootY, &x, &y, &mask);
        return {rootX, rootY};
    }
    WindowHandle parentOf(WindowHandle) override { return 0; }
    std::uintptr_t loadedModule(const char*) override { return 0; }
    std::uintptr_t procAddress(std::uintptr_t, const char*) override { return 0; }
    std::uintptr_t associateContext(std::uintptr_t, WindowHandle, std::uintptr_t) override { return 0; }
    MessageResult sendMessage(WindowHandle window, MessageId message, WParam wParam, LParam lParam) override {
        return dispatch(window, message, wParam, lParam);
    }
    void removeTimerMessage(WindowHandle) override { loop.timers.dropPending(nowMs()); }
    std::uint32_t callVerifyPassword(std::uintptr_t, WindowHandle) override { return 1; }
    bool openDesktopKey() override { return false; }
    std::optional<std::uint32_t> queryDesktopNumber(const char*) override { return std::nullopt; }
    void closeDesktopKey() override {}
    std::uintptr_t loadLibrary(const char*) override { return 0; }
    void freeLibrary(std::uintptr_t) override {}
    void setScreenSaverRunning(std::uint32_t) override {}
    void callChangePassword(std::uintptr_t, const char*, WindowHandle) override {}
};

// The settings dialog comes with the next version; nothing calls these yet.
class NoDialog : public DialogServices {
public:
    void endDialog(WindowHandle, std::intptr_t) override {}
    void addComboString(WindowHandle, std::int32_t, const char*) override {}
    void setComboSelection(WindowHandle, std::int32_t, std::int32_t) override {}
    std::int32_t comboSelection(WindowHandle, std::int32_t) override { return -1; }
    void setItemText(WindowHandle, std::int32_t, const std::string&) override {}
    std::string itemText(WindowHandle, std::int32_t, std::size_t) override { return {}; }
    void setItemSignedInt(WindowHandle, std::int32_t, std::int32_t) override {}
    std::int32_t itemSignedInt(WindowHandle, std::int32_t) override { return 0; }
    void checkButton(WindowHandle, std::int32_t, std::uint32_t) override {}
    std::uint32_t buttonState(WindowHandle, std::int32_t) override { return 0; }
};

}  // namespace

Window createOwnWindow() {
    Display* d = session().display;
    const int s = session().screen;
    const unsigned width = static_cast<unsigned>(std::max(DisplayWidth(d, s) / 2, 1));
    const unsigned height = static_cast<unsigned>(std::max(DisplayHeight(d, s) / 2, 1));
    loop.ownWindow = XCreateSimpleWindow(d, RootWindow(d, s), 0, 0, width, height, 0, BlackPixel(d, s), BlackPixel(d, s));
    XStoreName(d, loop.ownWindow, "Vellora");
    XSetWMProtocols(d, loop.ownWindow, &session().deleteWindow, 1);
    XMapWindow(d, loop.ownWindow);
    XSync(d, False);
    return loop.ownWindow;
}

WindowServices& windowServices() {
    static X11Windows windows;
    return windows;
}

ShellServices& shell() {
    static X11Shell shell;
    return shell;
}

DialogServices& dialog() {
    static NoDialog dialog;
    return dialog;
}

}  // namespace vellora::linux_platform
