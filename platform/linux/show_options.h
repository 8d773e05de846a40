// The command line's options for one show, applied to the installed platform.
//
// Contract: call once, after a display system has installed the platform and
// before the shell runs. Nothing is saved: the settings file stays as it is.
#pragma once

#include <string>

#include "platform/linux/command_line.h"

namespace vellora::linux_platform {

void applyShowOptions(const CommandLine& command);

// The list of `--list -`: the bytes of `fd` up to its end, a stop, or `limit` bytes;
// cut short, it ends after its last whole line.
std::string readListUpTo(int fd, std::size_t limit);

}  // namespace vellora::linux_platform
