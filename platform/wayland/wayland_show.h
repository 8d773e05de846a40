// The show on a Wayland compositor.
//
// Contract: runShowOnWaylandIfReachable connects to the compositor WAYLAND_DISPLAY
// names (wayland-0 when unset, as libwayland does); when none answers it returns
// nothing and has changed nothing, so the caller can try X11. Otherwise it
// installs the platform with the Wayland window and shell services, applies the
// command line's options, runs the shell in the form asked for and returns the
// process's exit code (2 with a message for the X11-only forms).
#pragma once

#include <optional>

#include "platform/linux/command_line.h"

namespace vellora::linux_platform {

std::optional<int> runShowOnWaylandIfReachable(const CommandLine& command);

}  // namespace vellora::linux_platform
