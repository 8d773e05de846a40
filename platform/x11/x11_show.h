// The show on an X11 display.
//
// Contract: runShowOnX11 opens the display named by DISPLAY, installs the platform
// with the X11 window and shell services, applies the command line's options and
// runs the shell in the form the command line asks for. It returns the process's
// exit code; 1 with a message on standard error when there is no display.
#pragma once

#include "platform/linux/command_line.h"

namespace vellora::linux_platform {

int runShowOnX11(const CommandLine& command);

}  // namespace vellora::linux_platform
