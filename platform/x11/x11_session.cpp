// The display connection and its error handlers.
#include <time.h>
#include <unistd.h>

#include <cstdlib>

#include <X11/Xatom.h>
#include <X11/Xproto.h>

#include "platform/x11/x11_internal.h"

namespace vellora::linux_platform {
namespace {

X11Session theSession;
// The window we draw into may belong to someone else and vanish at any time;
// that ends the show quietly. Other errors leave the show going.
XErrorHandler toolkitHandler = nullptr;

int onXError(Display* display, XErrorEvent* error) {
    if (display != theSession.display) return toolkitHandler ? toolkitHandler(display, error) : 0;
    if (error->error_code == BadWindow || error->error_code == BadDrawable) theSession.windowGone = true;
    return 0;
}

int onConnectionLost(Display*) { _exit(1); }

bool trappedError = false;
int recordTrappedError(Display*, XErrorEvent*) {
    trappedError = true;
    return 0;
}

// An X server that is closing other clients' connections can drop a new one right
// after accepting it (Xvfb does, for a few in a hundred, when short-lived clients
// come and go), so a refused connection is tried again for up to a second before
// the program gives up. Without a display named there is nothing to wait for.
Display* openDisplayPatiently() {
    constexpr int attempts = 20;
    constexpr timespec betweenAttempts{0, 50'000'000};
    const char* name = std::getenv("DISPLAY");
    for (int attempt = 1;; ++attempt) {
        if (Display* display = XOpenDisplay(nullptr)) return display;
        if (!name || !*name || attempt == attempts || stopRequested()) return nullptr;
        nanosleep(&betweenAttempts, nullptr);
    }
}

}  // namespace

void reclaimErrorHandler() {
    const XErrorHandler previous = XSetErrorHandler(onXError);
    if (previous != onXError) toolkitHandler = previous;
}

bool withoutXErrors(const std::function<void()>& requests) {
    Display* d = theSession.display;
    XSync(d, False);
    trappedError = false;
    const XErrorHandler previous = XSetErrorHandler(recordTrappedError);
    requests();
    XSync(d, False);
    XSetErrorHandler(previous);
    return !trappedError;
}

X11Session& session() { return theSession; }

bool openSession() {
    theSession.display = openDisplayPatiently();
    if (!theSession.display) return false;
    theSession.screen = DefaultScreen(theSession.display);
    theSession.deleteWindow = XInternAtom(theSession.display, "WM_DELETE_WINDOW", False);
    theSession.protocols = XInternAtom(theSession.display, "WM_PROTOCOLS", False);
    XSetErrorHandler(onXError);
    XSetIOErrorHandler(onConnectionLost);
    return true;
}

}  // namespace vellora::linux_platform
