// What the idle watcher needs of an X11 session.
//
// Contract: openX11IdleSource opens its own connection to DISPLAY (not the show's)
// and returns null without a display or without the MIT-SCREEN-SAVER extension.
// Its idle time is the server's time since the last input, which players reset
// while they play. While the server's own screen saver is on (blanking, or a
// locker started by it) the session counts as not idle, so a running show ends
// and none starts. xscreensaverRunning opens a connection for the one question and
// is false without a display.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/linux/idle_source.h"

namespace vellora::linux_platform {

std::unique_ptr<IdleSource> openX11IdleSource(std::uint64_t thresholdMs);
// The xscreensaver daemon runs for this display: it owns the screen saving here.
bool xscreensaverRunning();

}  // namespace vellora::linux_platform
