// What the idle watcher needs of a Wayland compositor.
//
// Contract: openWaylandIdleSource opens its own connection to the compositor
// WAYLAND_DISPLAY names (never the show's) and asks it for a notice after
// `thresholdMs` without input on the first seat: through ext_idle_notifier_v1 where
// offered, else org_kde_kwin_idle. It returns null when WAYLAND_DISPLAY names no
// compositor that answers, or the compositor offers neither protocol or no seat.
// The source is told by events: its descriptor is the connection's, and state()
// reads what has arrived without waiting. Compositors hold the notice back while an
// idle inhibitor is active (a video player, a presentation), so the source has no
// inhibitors of its own to report. A lost connection answers nullopt. No call
// waits for the compositor longer than two seconds.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/linux/idle_source.h"

namespace vellora::linux_platform {

std::unique_ptr<IdleSource> openWaylandIdleSource(std::uint64_t thresholdMs);

}  // namespace vellora::linux_platform
