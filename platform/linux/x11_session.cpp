// The display connection, its error handlers, and the stop request of SIGTERM and SIGINT.
#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>

#include <X11/Xatom.h>
#include <X11/Xproto.h>

#include "platform/linux/linux_internal.h"

namespace vellora::linux_platform {
namespace {

X11Session theSession;
volatile sig_atomic_t stopFlag = 0;
int wakePipe[2] = {-1, -1};

void onStopSignal(int) {
    stopFlag = 1;
    const char byte = 1;
    // Nothing to do when the pipe is full: one byte already wakes the loop.
    [[maybe_unused]] const ssize_t ignored = write(wakePipe[1], &byte, 1);
}

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

bool stopRequested() { return stopFlag != 0; }

void installStopSignals() {
    if (pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) wakePipe[0] = wakePipe[1] = -1;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a pause in progress must end when the signal comes.
    action.sa_flags = 0;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

void reclaimErrorHandler() {
    const XErrorHandler previous = XSetErrorHandler(onXError);
    if (previous != onXError) toolkitHandler = previous;
}

int stopWakeDescriptor() { return wakePipe[0]; }

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
