#include "platform/linux/window_timers.h"

#include <algorithm>

namespace vellora::linux_platform {

void WindowTimers::set(std::uintptr_t id, std::uint32_t periodMs, std::uint64_t nowMs) {
    const std::uint64_t period = std::max(periodMs, minimumPeriodMs);
    timers_[id] = Timer{period, nowMs + period};
}

void WindowTimers::kill(std::uintptr_t id) { timers_.erase(id); }

void WindowTimers::passBoundary(Timer& t, std::uint64_t nowMs) {
    if (t.deadline <= nowMs) t.deadline += ((nowMs - t.deadline) / t.period + 1) * t.period;
}

void WindowTimers::dropPending(std::uint64_t nowMs) {
    for (auto& [id, t] : timers_) passBoundary(t, nowMs);
}

std::optional<std::uintptr_t> WindowTimers::takeDue(std::uint64_t nowMs) {
    for (auto& [id, t] : timers_)
        if (t.deadline <= nowMs) {
            passBoundary(t, nowMs);
            return id;
        }
    return std::nullopt;
}

void WindowTimers::tickEnded(std::uintptr_t id, std::uint64_t nowMs) {
    const auto timer = timers_.find(id);
    if (timer == timers_.end()) return;
    Timer& t = timer->second;
    if (t.deadline <= nowMs) t.deadline = nowMs + t.period;
}

int WindowTimers::millisecondsToNext(std::uint64_t nowMs) const {
    if (timers_.empty()) return -1;
    std::uint64_t next = UINT64_MAX;
    for (const auto& [id, t] : timers_) next = std::min(next, t.deadline);
    return next <= nowMs ? 0 : static_cast<int>(std::min<std::uint64_t>(next - nowMs, 60000));
}

}  // namespace vellora::linux_platform
