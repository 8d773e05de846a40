// Internal to the X11 platform: the event loop that the window services and the
// shell services share. One show window per process; the loop stands for the
// platform's message queue, so its record is process-wide like that queue.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <memory>

#include "platform/linux/message_queue.h"
#include "platform/x11/x11_internal.h"

namespace vellora::linux_platform {

struct ShowWindow {
    Window xid = 0;
    bool owned = false;       // made by this program, so destroyed by it
    bool fullScreen = false;  // takes all input and hides the pointer
    bool destroyed = false;
    std::unique_ptr<WindowCanvas> canvas;
};

struct EventLoop : MessageQueue {
    Window ownWindow = 0;
    ShowWindow show;
    // In --root mode a message is written on the show's window instead of a box: the
    // daemon's window would cover a box, and the show would wait for it unseen.
    bool messagesOnWindow = false;
};

EventLoop& eventLoop();
// Asks about a window that may not exist without the answer counting as the show's window vanishing.
bool windowAttributes(Window window, XWindowAttributes& attributes);
bool windowIs(Window window, const char* className, const char* title);
Cursor blankCursor();
void grabInput();
// A quit, a stop signal or the window's vanishing.
bool ended();
// Handles one thing in the order Windows does: posted messages, then input and
// window events, then a timer. False when there was nothing to do.
bool handleOne();
void waitForWork(int timeoutMs);
// While a picture loads: a key or one of the three buttons waiting for the
// full-screen show, which ends on either, ends it now (as a stop request).
void stopOnWaitingInput();

}  // namespace vellora::linux_platform
