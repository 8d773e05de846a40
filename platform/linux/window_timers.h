// Window timers with the semantics the slideshow relies on, kept apart from the
// event loop so they can be tested without a display.
//
// Contract: a timer is periodic from the moment it is set (or set again); its
// period is at least minimumPeriodMs, as on Windows. An expiry is only noticed
// when the loop asks (takeDue), so a tick runs to completion first, and however
// many periods passed meanwhile, at most one tick is pending: after it the timer
// waits for its next period boundary. Unlike Windows, a tick that ends after the
// timer's next expiry (it overran its period: a slow picture, a decoder that had
// to be stopped) restarts the period where it ends, when the loop says so
// (tickEnded): the picture that tick showed stays up for a whole period instead
// of being cleared at once by the pending tick. Times are milliseconds of a
// monotonic clock.
#pragma once

#include <cstdint>
#include <map>
#include <optional>

namespace vellora::linux_platform {

class WindowTimers {
public:
    static constexpr std::uint32_t minimumPeriodMs = 10;  // USER_TIMER_MINIMUM

    void set(std::uintptr_t id, std::uint32_t periodMs, std::uint64_t nowMs);
    void kill(std::uintptr_t id);
    // Forgets any expiry that is pending now.
    void dropPending(std::uint64_t nowMs);
    // A timer that is due, its expiry consumed; nothing when none is due.
    std::optional<std::uintptr_t> takeDue(std::uint64_t nowMs);
    // The tick of timer `id` ended at `nowMs`.
    void tickEnded(std::uintptr_t id, std::uint64_t nowMs);
    // Milliseconds until a timer is due (0 when one is), or -1 when none runs.
    int millisecondsToNext(std::uint64_t nowMs) const;

private:
    struct Timer {
        std::uint64_t period;
        std::uint64_t deadline;
    };
    static void passBoundary(Timer& t, std::uint64_t nowMs);
    std::map<std::uintptr_t, Timer> timers_;
};

}  // namespace vellora::linux_platform
