// The show on a Wayland compositor.
//
// Contract: runShowOnWaylandIfReachable connects to the compositor WAYLAND_DISPLAY
// names (none when it is unset or empty); when none answers it returns
// nothing and has changed nothing, so the caller can try X11. Otherwise it
// installs the platform with the Wayland window and shell services, applies the
// command line's options, runs the shell in the form asked for and returns the
// process's exit code. The X11-only forms (--window-id, --root) go to X11 where
// DISPLAY is set (XWayland), and otherwise end with 2 and a message.
#pragma once

#include <optional>

#include "platform/linux/command_line.h"

namespace vellora::linux_platform {

std::optional<int> runShowOnWaylandIfReachable(const CommandLine& command);

}  // namespace vellora::linux_platform
