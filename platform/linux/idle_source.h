// Where the idle watcher learns that the user is idle: one small interface, with
// one implementation per thing a session may offer.
//
// Contract: an opener returns a source ready to report idling of at least
// `thresholdMs`, or null when the session does not offer it (the watcher then tries
// the next). A polling source answers state() from the session each time and has
// no descriptor; a source told by events gives a descriptor that becomes readable
// when its state may have changed, and reads its events in state(). A source
// whose session has gone (the display closed, the bus ended) answers nullopt.
// Sources never block for longer than a bus call's timeout.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

namespace vellora::linux_platform {

struct IdleState {
    bool idle = false;  // idle for at least the threshold
    // When not idle: the least time before it can be; the watcher sleeps that long.
    std::uint64_t msUntilIdle = 0;
};

class IdleSource {
public:
    virtual ~IdleSource() = default;
    virtual const char* name() const = 0;
    virtual std::optional<IdleState> state() = 0;
    // Something the session knows of holds idling off (a video player, a presentation).
    virtual bool inhibited() { return false; }
    virtual int wakeDescriptor() { return -1; }
};

using IdleSourceOpener = std::unique_ptr<IdleSource> (*)(std::uint64_t thresholdMs);

// GNOME's org.gnome.Mutter.IdleMonitor on the session bus, with the session
// manager's idle inhibitors.
std::unique_ptr<IdleSource> openGnomeIdleSource(std::uint64_t thresholdMs);
// Whether org.gnome.SessionManager has an idle inhibitor; false without one.
bool gnomeSessionInhibitsIdle();

// The idle time a source reports, as the state for `thresholdMs`.
inline IdleState idleStateFor(std::uint64_t idleMs, std::uint64_t thresholdMs) {
    if (idleMs >= thresholdMs) return {true, 0};
    return {false, thresholdMs - idleMs};
}

}  // namespace vellora::linux_platform
