// The settings file's folder on Linux and the file operations the settings
// dialog needs.
//
// Contract:
// - configDirectory() stands in for the Windows directory: $XDG_CONFIG_HOME/vellora
//   when that variable holds an absolute path, ~/.config/vellora otherwise, with no
//   separator at the end. The core appends "\Tessaview.ini" to it; localPath()
//   turns that one backslash into a slash and leaves every other path as it is.
// - files() is the process's one Files of this platform. A file written with it
//   is on the disk before close() reports success.
#pragma once

#include <string>

#include "platform/platform.h"

namespace vellora::linux_platform {

std::string configDirectory();
std::string localPath(const std::string& path);
Files& files();

}  // namespace vellora::linux_platform
