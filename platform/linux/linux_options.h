// The Linux options: the show's switches beyond the four settings of Tessaview.ini,
// which only the native program has. The settings dialog keeps them in a second
// file beside Tessaview.ini, a GLib key file; the show reads it, and a switch on the
// command line wins over it for that run.
//
// Contract:
// - linuxOptions is the one table of these options: one line names the key in the
//   file's [Show] group, the switches that turn it on and off for one run, the
//   dialog's check box (English, translated at run time) and the member of
//   CommandLine that carries it. An option added to the table is parsed, read,
//   shown and saved with nothing else to change.
// - Every option is off unless the file or the command line turns it on.
// - A file that is missing holds the defaults. One that cannot be read, or is not
//   a key file, or gives an option a value that is not a boolean, is damaged: the
//   show then runs with the defaults and says so in one line on standard error,
//   and a save leaves it as it is (it is the user's, to mend) and fails.
// - A save keeps every other key, group and comment of the file, writes as the
//   user's files are written (platform/linux/user_files.h: atomically, flushed,
//   through a link, keeping its mode) and creates the settings folder when needed.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>

#include "platform/linux/command_line.h"
#include "platform/linux/program_text.h"

namespace vellora::linux_platform {

struct LinuxOption {
    const char* key;
    const char* on;
    const char* off;
    const char* label;
    bool CommandLine::*value;
};

inline constexpr LinuxOption linuxOptions[] = {
    {"fit", "--fit", "--no-fit", N_("Shrink large pictures to fit the screen"), &CommandLine::fit},
    {"upright", "--upright", "--no-upright", N_("Turn photos upright by their orientation tag"), &CommandLine::upright},
    {"paced", "--paced", "--no-paced", N_("Even pace for the fast transitions"), &CommandLine::paced},
    {"shuffle", "--shuffle", "--no-shuffle", N_("Shuffle: every picture once before any repeats"), &CommandLine::shuffle},
    {"caption", "--caption", "--no-caption", N_("Caption: the date taken and the folder, in a lower corner"),
     &CommandLine::caption},
    {"backdrop", "--backdrop", "--no-backdrop", N_("Backdrop: the picture's own colours, blurred, instead of black"),
     &CommandLine::backdrop},
};
inline constexpr std::size_t linuxOptionCount = std::size(linuxOptions);
static_assert(linuxOptionCount <= 32, "CommandLine::linuxOptionsGiven has a bit per option");

inline constexpr const char* linuxOptionsGroup = "Show";
inline constexpr const char* linuxOptionsFileName = "Options.ini";

using LinuxOptionValues = std::array<bool, linuxOptionCount>;

struct LinuxOptionsFile {
    enum class State { read, missing, damaged } state = State::missing;
    LinuxOptionValues values{};
    std::string problem;  // why it is damaged, for the user
};

// $XDG_CONFIG_HOME/vellora/Options.ini, beside Tessaview.ini.
std::string linuxOptionsPath();

// The options a file's text gives; `problem` says what is wrong with a damaged one.
LinuxOptionsFile parseLinuxOptions(const std::string& text);
// The file's text with these values, every other line kept; nothing for a text
// that is not a key file.
std::optional<std::string> withLinuxOptions(const std::string& text, const LinuxOptionValues& values);

LinuxOptionsFile readLinuxOptions(const std::string& path);
// False when the file could not be written or is damaged; it is then as it was.
// Nothing is written when the file already holds these values (a missing file
// holds the defaults).
bool saveLinuxOptions(const std::string& path, const LinuxOptionValues& values);

// The values of this run: the file's, then the command line's switches over them.
// A damaged file is said in one line on standard error.
void applyLinuxOptionsFile(CommandLine& command);

}  // namespace vellora::linux_platform
