// The command line's options for one show, applied to the installed platform.
//
// Contract: call once, after a display system has installed the platform and
// before the shell runs. Nothing is saved: the settings file stays as it is.
#pragma once

#include "platform/linux/command_line.h"

namespace vellora::linux_platform {

void applyShowOptions(const CommandLine& command);

}  // namespace vellora::linux_platform
