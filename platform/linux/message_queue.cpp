#include "platform/linux/message_queue.h"

#include <poll.h>
#include <time.h>

#include "platform/messages.h"
#include "shell/shell.h"

namespace vellora::linux_platform {

std::uint64_t nowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

MessageResult dispatch(WindowHandle window, MessageId message, WParam wParam, LParam lParam) {
    return shellWindowProc(window, message, wParam, lParam);
}

bool MessageQueue::runDueTick(WindowHandle window) {
    const std::optional<std::uintptr_t> due = timers.takeDue(nowMs());
    if (!due) return false;
    dispatch(window, msg::timer, *due, 0);
    timers.tickEnded(*due, nowMs());
    return true;
}

bool waitForDescriptor(int descriptor, int timeoutMs) {
    pollfd watched[2] = {{descriptor, POLLIN, 0}, {stopWakeDescriptor(), POLLIN, 0}};
    if (poll(watched, watched[1].fd >= 0 ? 2 : 1, timeoutMs) <= 0) return false;
    return (watched[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

}  // namespace vellora::linux_platform
