// The show window and the event loop: X events become the shell's window
// messages, so the input and close rules are the same code as on Windows.
#include <sched.h>

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/gtk/message_box.h"
#include "platform/linux/program_text.h"
#include "platform/x11/x11_loop.h"
#include "platform/messages.h"
#include "shell/shell.h"
#include "slideshow/controller.h"
#include "slideshow/slide_state.h"

namespace vellora::linux_platform {
namespace {

EventLoop loop;

}  // namespace

EventLoop& eventLoop() { return loop; }

bool windowAttributes(Window window, XWindowAttributes& attributes) {
    Status status = 0;
    const bool clean = withoutXErrors([&] { status = XGetWindowAttributes(session().display, window, &attributes); });
    return status != 0 && clean;
}

bool windowIs(Window window, const char* className, const char* title) {
    Display* d = session().display;
    XClassHint hint{};
    char* name = nullptr;
    bool hasClass = false, hasName = false;
    // Another client's window may go at any moment.
    const bool clean = withoutXErrors([&] {
        hasClass = XGetClassHint(d, window, &hint) != 0;
        hasName = XFetchName(d, window, &name) != 0;
    });
    const bool match = clean && hasClass && hasName && hint.res_class && name &&
                       std::strcmp(hint.res_class, className) == 0 && std::strcmp(name, title) == 0;
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
    if (name) XFree(name);
    return match;
}

bool ended() { return loop.ended(session().windowGone); }

void closeSession() {
    Display* d = session().display;
    if (!d) return;
    loop.show.canvas.reset();
    // A show started the moment this one ends must not find our window and defer to
    // it, so the window goes before the process does, not when the server notices.
    if (loop.show.owned && !loop.show.destroyed && !session().windowGone) XDestroyWindow(d, loop.show.xid);
    loop.show.destroyed = true;
    XCloseDisplay(d);  // waits until the server has done everything asked of it
    session().display = nullptr;
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

namespace {

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
    // A monitor plugged in or out ends the shows rather than leave one straddling or uncovered.
    if (loop.show.fullScreen && !loop.show.destroyed && monitorsChanged(event)) {
        loop.quitPosted = true;
        loop.quitCode = 0;
        return;
    }
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

// The message in the middle of the show's window, over whatever it shows.
void writeMessageOnWindow(const std::string& utf8) {
    XWindowAttributes attributes{};
    if (!windowAttributes(loop.show.xid, attributes)) return;
    if (!loop.show.canvas)
        loop.show.canvas = makeWindowCanvas(loop.show.xid, attributes.width, attributes.height, loop.show.fullScreen);
    const TextImage image = renderMessageText(utf8, attributes.width, attributes.height);
    if (image.pixels.empty()) return;
    loop.show.canvas->showMessage((attributes.width - image.width) / 2, (attributes.height - image.height) / 2,
                                  image.width, image.height, image.pixels.data());
}

}  // namespace

void waitForWork(int timeoutMs) { waitForDescriptor(ConnectionNumber(session().display), timeoutMs); }

void stopOnWaitingInput() {
    if (!loop.show.fullScreen || loop.show.destroyed) return;
    Display* d = session().display;
    if (XEventsQueued(d, QueuedAfterReading) == 0) return;
    // Only looked at: the loop handles every event in its turn once the picture is in.
    const auto endsShow = [](Display*, XEvent* e, XPointer found) -> Bool {
        if (e->xany.window == loop.show.xid &&
            (e->type == KeyPress || (e->type == ButtonPress && e->xbutton.button <= Button3)))
            *reinterpret_cast<bool*>(found) = true;
        return False;
    };
    bool found = false;
    XEvent event;
    XCheckIfEvent(d, &event, endsShow, reinterpret_cast<XPointer>(&found));
    if (found) requestStop();
}

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
    return loop.runDueTick(loop.show.xid);
}

namespace {

bool keepDialogOpen() {
    while (handleOne()) {
    }
    return !ended();
}

class X11Windows : public QueuedWindowServices {
public:
    X11Windows() : QueuedWindowServices(loop) {}
    Canvas* deviceContext(WindowHandle) override {
        if (!loop.show.canvas) {
            XWindowAttributes attributes{};
            if (!windowAttributes(loop.show.xid, attributes)) return nullptr;
            loop.show.canvas = makeWindowCanvas(loop.show.xid, attributes.width, attributes.height, loop.show.fullScreen);
        }
        return loop.show.canvas.get();
    }
    void messageBox(WindowHandle, const std::string& text, const std::string& caption) override {
        if (ended()) return;
        // The settings file's box names the file as it is found on this system, in
        // the file-name encoding; the other captions are ASCII words.
        const std::string textUtf8 = text::shownFromGbk(text), captionUtf8 = text::shownCaption(localPath(caption));
        if (loop.messagesOnWindow) {
            // Nothing waits for OK: the show goes on ticking, and a drawing over the message takes it away.
            if (!loop.show.destroyed) writeMessageOnWindow(textUtf8 + "\n" + captionUtf8);
            return;
        }
        if (loop.show.fullScreen && !loop.show.destroyed) releaseInput();
        runMessageDialog(textUtf8, captionUtf8, keepDialogOpen, reclaimErrorHandler);
        if (loop.show.fullScreen && !loop.show.destroyed && !ended()) grabInput();
    }
    MessageResult defaultProc(WindowHandle window, MessageId message, WParam, LParam) override {
        if (message == msg::close) destroyShowWindow(window);
        if (message == msg::paint && loop.show.canvas) loop.show.canvas->repaint();
        return 0;
    }
};

}  // namespace

WindowServices& windowServices() {
    static X11Windows windows;
    return windows;
}

}  // namespace vellora::linux_platform
