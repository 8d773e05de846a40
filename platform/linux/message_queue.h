// The display-independent skeleton of an event loop: the posted-message queue, the
// window timers, the quit request and its exit code, the shell's window procedure as
// the one place messages go, and waiting on a display's descriptor together with
// the stop descriptor. Each display system's loop (platform/x11/, platform/wayland/)
// adds its own events between the posted messages and the timers, in the order
// Windows keeps.
//
// Contract: times are milliseconds of the monotonic clock. A show ends when a quit
// was posted, a stop signal came, or the display system lost the show's window;
// only a posted quit without either of the others gives its own exit code.
#pragma once

#include <cstdint>
#include <deque>

#include "platform/linux/linux_internal.h"
#include "platform/linux/window_timers.h"

namespace vellora::linux_platform {

struct PostedMessage {
    WindowHandle window;
    MessageId message;
    WParam wParam;
    LParam lParam;
};

struct MessageQueue {
    std::deque<PostedMessage> posted;
    WindowTimers timers;
    bool quitPosted = false;
    std::intptr_t quitCode = 0;

    bool ended(bool windowLost) const { return quitPosted || stopRequested() || windowLost; }
    // Hands the tick of a timer that is due, if one is, to `window`; whether there was one.
    bool runDueTick(WindowHandle window);
    // A stop signal or a lost window ends the show quietly, with 0.
    std::intptr_t exitCode(bool windowLost) const {
        return quitPosted && !stopRequested() && !windowLost ? quitCode : 0;
    }
};

std::uint64_t nowMs();

// The window services that are the queue's own: timers and the quit request.
class QueuedWindowServices : public WindowServices {
public:
    explicit QueuedWindowServices(MessageQueue& queue) : queue_(queue) {}
    std::uintptr_t setTimer(WindowHandle, std::uintptr_t id, std::uint32_t periodMs) override {
        queue_.timers.set(id, periodMs, nowMs());
        return id;
    }
    void killTimer(WindowHandle, std::uintptr_t id) override { queue_.timers.kill(id); }
    void postQuit(int exitCode) override {
        queue_.quitPosted = true;
        queue_.quitCode = exitCode;
    }

private:
    MessageQueue& queue_;
};
// Hands a message to the shell's window procedure.
MessageResult dispatch(WindowHandle window, MessageId message, WParam wParam, LParam lParam);
// Waits up to `timeoutMs` (-1: no limit) for `descriptor` or a stop request;
// whether the descriptor has something to read (or was hung up).
bool waitForDescriptor(int descriptor, int timeoutMs);

}  // namespace vellora::linux_platform
