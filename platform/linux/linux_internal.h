// Internal to the native Linux program: what every display system shares. No
// display-system header is included here or in the files that implement it.
//
// Contract: the services below are the platform seam's files and clock,
// and the process's stop request. Each display system (platform/x11/,
// platform/wayland/) adds its own window and shell services and installs the whole
// platform with installLinuxPlatform. Paths are the file system's bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/dialog_services.h"
#include "platform/platform.h"
#include "platform/shell_services.h"

namespace vellora::linux_platform {

// Set by SIGTERM and SIGINT: from then on nothing is drawn, pauses end at once and
// the event loop ends the process with 0.
bool stopRequested();
void installStopSignals();
// The same request from the program itself; safe in a signal handler.
void requestStop();
// A descriptor that becomes readable when a stop is requested, for poll().
int stopWakeDescriptor();

Files& files();
Clock& clock();
// The dialog services of a show: the show has no dialog of its own.
DialogServices& noDialog();

// Installs the shared services with a display system's window and shell services.
void installLinuxPlatform(WindowServices& windows, ShellServices& shell);

// The user's configuration folder: $XDG_CONFIG_HOME when it is absolute, else
// ~/.config.
std::string configHome();
// The folder that stands in for the Windows directory: configHome()/vellora.
std::string configDirectory();
// A path as this system spells it: the stand-in folder's backslash becomes a slash.
std::string localPath(const std::string& path);

// The show of this run reads these bytes as its settings file, which stays as it is
// on the disk; the dialog never sees them.
void useSettingsForThisRun(std::string fileBytes);

}  // namespace vellora::linux_platform
