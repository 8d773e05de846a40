// The settings file: four values in "\Tessaview.ini" in the Windows directory.
// Line 1 the image list path, then effect row, delay in seconds and random-order
// switch in decimal; CR LF after the first three lines, nothing after the last.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"
#include "slideshow/slide_state.h"

namespace vellora {

std::string settingsFilePath();

// Opens the settings file for reading; nothing when it cannot be opened, and also
// when its path is longer than the platform takes (on Windows, 259 bytes).
std::unique_ptr<InputFile> openSettingsFile();

// Overwrites each value that reads successfully, in file order; once one read
// fails the rest keep their values.
void readSettings(InputFile& file, Settings& settings);

// The exact bytes of the file for these settings.
std::string encodeSettings(const Settings& settings);

// Writes a temporary file beside the settings file and puts it in its place only
// when every byte was written, flushed and closed. False when the save failed; the
// old file is then as it was.
bool writeSettings(const Settings& settings);

}  // namespace vellora
