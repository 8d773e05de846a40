// The X server's own idle time (MIT-SCREEN-SAVER), and the xscreensaver daemon's presence.
#include "platform/x11/x11_idle.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>
#include <unistd.h>

namespace vellora::linux_platform {
namespace {

// The server going away is the session ending: the watcher has nothing left to do.
int onWatchedServerLost(Display*) { _exit(0); }

// The server's own screen saver, when it comes on, blanks the screen and is what
// X11 lockers start with: the show gives way to it and waits for the user's return.
class X11Idle : public IdleSource {
public:
    X11Idle(Display* display, std::uint64_t thresholdMs)
        : display_(display), info_(XScreenSaverAllocInfo()), thresholdMs_(thresholdMs) {
        XScreenSaverSelectInput(display_, DefaultRootWindow(display_), ScreenSaverNotifyMask);
        XFlush(display_);
    }
    ~X11Idle() override {
        XFree(info_);
        XCloseDisplay(display_);
    }
    const char* name() const override { return "X11 MIT-SCREEN-SAVER"; }
    std::optional<IdleState> state() override {
        const bool answered = info_ && XScreenSaverQueryInfo(display_, DefaultRootWindow(display_), info_);
        // The notices that woke us say no more than the answer; those read with it
        // would otherwise wait in Xlib's queue where poll() cannot see them.
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
        }
        if (!answered) return std::nullopt;
        if (info_->state == ScreenSaverOn) return IdleState{false, thresholdMs_};
        return idleStateFor(info_->idle, thresholdMs_);
    }
    int wakeDescriptor() override { return ConnectionNumber(display_); }

private:
    Display* display_;
    XScreenSaverInfo* info_;
    std::uint64_t thresholdMs_;
};

}  // namespace

std::unique_ptr<IdleSource> openX11IdleSource(std::uint64_t thresholdMs) {
    Display* d = XOpenDisplay(nullptr);
    if (!d) return nullptr;
    int eventBase = 0, errorBase = 0;
    if (!XScreenSaverQueryExtension(d, &eventBase, &errorBase)) {
        XCloseDisplay(d);
        return nullptr;
    }
    XSetIOErrorHandler(onWatchedServerLost);
    return std::make_unique<X11Idle>(d, thresholdMs);
}

bool xscreensaverRunning() {
    Display* d = XOpenDisplay(nullptr);
    if (!d) return false;
    // The daemon marks a window of its own, a child of the root, with its version.
    const Atom version = XInternAtom(d, "_SCREENSAVER_VERSION", True);
    bool found = false;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (version != None && XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) {
        // A window may go while we ask; its error is only a missing answer.
        const XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        for (unsigned i = 0; i < count && !found; ++i) {
            Atom type = None;
            int format = 0;
            unsigned long items = 0, after = 0;
            unsigned char* value = nullptr;
            if (XGetWindowProperty(d, children[i], version, 0, 0, False, XA_STRING, &type, &format, &items, &after,
                                   &value) == Success && type != None)
                found = true;
            if (value) XFree(value);
        }
        XSync(d, False);
        XSetErrorHandler(previous);
    }
    if (children) XFree(children);
    XCloseDisplay(d);
    return found;
}

}  // namespace vellora::linux_platform
