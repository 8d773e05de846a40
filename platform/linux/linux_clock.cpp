// The clock: pauses to absolute deadlines, and the calendar and tick counts.
#include <errno.h>
#include <sched.h>
#include <sys/prctl.h>
#include <time.h>

#include "platform/linux/linux_internal.h"

namespace vellora::linux_platform {
namespace {

class LinuxClock : public Clock {
public:
    LinuxClock() {
        // The default slack of 50 microseconds adds up over the thousands of short pauses of a transition.
        prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    }
    void sleep(std::uint32_t milliseconds) override {
        if (stopRequested()) return;
        if (milliseconds == 0) {
            sched_yield();
            return;
        }
        // Each pause ends at an absolute deadline. In a run of pauses (one per step of a
        // transition) the next deadline counts from the previous one, so the moments
        // the system wakes us late do not add up; after a longer gap it counts from now.
        const std::uint64_t now = monotonicNs();
        const std::uint64_t base = lastDeadline_ != 0 && now <= lastDeadline_ + catchUpNs ? lastDeadline_ : now;
        lastDeadline_ = base + static_cast<std::uint64_t>(milliseconds) * 1000000u;
        const timespec deadline{static_cast<time_t>(lastDeadline_ / 1000000000u),
                                static_cast<long>(lastDeadline_ % 1000000000u)};
        // A stop signal interrupts the wait; any other interruption resumes it.
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR)
            if (stopRequested()) return;
    }
    std::int64_t calendarSeconds() override { return static_cast<std::int64_t>(time(nullptr)); }
    std::uint32_t tickCount() override {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        return static_cast<std::uint32_t>(static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                                          static_cast<std::uint64_t>(now.tv_nsec) / 1000000u);
    }

private:
    // How late a pause may start and still count as the next of a run.
    static constexpr std::uint64_t catchUpNs = 2000000;
    static std::uint64_t monotonicNs() {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        return static_cast<std::uint64_t>(now.tv_sec) * 1000000000u + static_cast<std::uint64_t>(now.tv_nsec);
    }
    std::uint64_t lastDeadline_ = 0;
};

}  // namespace

Clock& clock() {
    static LinuxClock clock;
    return clock;
}

}  // namespace vellora::linux_platform
