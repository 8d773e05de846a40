// The command line of the native program, in the conventions of X11 screen savers.
//
// Contract: parseCommandLine never fails hard; anything it does not understand
// gives ShowForm::invalid, for which the caller prints usageLine and exits with 2.
// A window id is decimal or hexadecimal with 0x or 0X, nonzero and at most 32 bits.
// The show's options override the settings file for one run and are never saved;
// without them the show is exactly the one the settings file describes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/monitor_shows.h"

namespace vellora::linux_platform {

enum class ShowForm { fullScreen, intoWindow, root, ownWindow, help, invalid, settings, installXscreensaver, idle, stop };

// Values that replace the settings file's for this run.
struct SettingsOverrides {
    std::optional<std::string> imageListPath;
    std::optional<std::int32_t> effectIndex;
    std::optional<std::int32_t> delaySeconds;
    std::optional<std::int32_t> randomOrder;
    bool any() const { return imageListPath || effectIndex || delaySeconds || randomOrder; }
};

// How photos are shown beyond their natural size on black; each a switch of the
// command line, found through photoSwitches.
struct PhotoOptions {
    bool caption = false;   // --caption: when and where it was taken, in a lower corner
    bool backdrop = false;  // --backdrop: its own colours, blurred and darkened, instead of black
    bool any() const { return caption || backdrop; }
};
struct PhotoSwitch {
    const char* name;
    bool PhotoOptions::*on;
};
inline constexpr PhotoSwitch photoSwitches[] = {{"--caption", &PhotoOptions::caption},
                                                {"--backdrop", &PhotoOptions::backdrop}};

struct CommandLine {
    ShowForm form = ShowForm::fullScreen;
    unsigned long window = 0;  // for intoWindow, and for root when the environment names one
    SettingsOverrides overrides;
    bool fit = false;
    bool upright = false;
    bool paced = false;
    // Set in a full-screen show started by the first for another monitor.
    std::optional<MonitorArea> monitor;
    // For --idle: how long the user must be idle before the show starts.
    std::uint64_t idleMs = 0;
    // The arguments as given, without the program name and without --idle and its
    // value, for the shows this process starts.
    std::vector<std::string> arguments;
    bool forceX11 = false;  // --x11: the X display even where a Wayland compositor is reachable
    bool shuffle = false;
    PhotoOptions photos;
};

inline constexpr const char* usageLine =
    "usage: vellora [--window-id ID | --root | --window] [--list PATH] [--effect N] [--delay S] "
    "[--random | --no-random | --shuffle] [--fit] [--upright] [--paced] [--caption] [--backdrop] [--x11] "
    "[--idle MINUTES] | --stop | --settings | --install-xscreensaver | --help";
inline constexpr const char* helpText =
    "usage: vellora [--window-id ID | --root | --window] [OPTION...]\n"
    "       vellora --stop | --settings | --install-xscreensaver | --help\n"
    "A picture slide show for Wayland and the X Window System.\n"
    "  (no option)        full screen; a key, a click or moving the pointer ends it\n"
    "  --window-id ID     draw into the window ID (decimal, or hexadecimal with 0x; X11 only)\n"
    "  --root             draw into $XSCREENSAVER_WINDOW, else into the root window (X11 only)\n"
    "  --window           show in an ordinary window; closing it ends the show\n"
    "  --list PATH        the pictures for this run: an image list file (one picture\n"
    "                     path a line), - for a list on standard input, or a folder,\n"
    "                     whose pictures are found in it and every folder below it\n"
    "  --effect N         the transition row for this run, 0 to 19\n"
    "  --delay S          seconds per picture for this run\n"
    "  --random, --no-random   random or list order for this run\n"
    "  --shuffle          every picture once, in random order, before any repeats;\n"
    "                     a restart, and every other vellora showing the same\n"
    "                     pictures, goes on with the same round\n"
    "  --fit              shrink pictures larger than the screen to fit it\n"
    "  --upright          turn JPEG and TIFF photos upright by their orientation tag\n"
    "  --paced            a pace of their own for the transitions that have none\n"
    "  --caption          write when each photo was taken (its EXIF date, else its\n"
    "                     file's) and its folder below the one shown (or its file\n"
    "                     name, for a list) in a lower corner\n"
    "  --backdrop         behind a picture that leaves the screen's edges bare, the\n"
    "                     picture itself, blurred and darkened, instead of black\n"
    "  --idle MINUTES     stay in the background and show full screen whenever the\n"
    "                     session has been idle MINUTES (a decimal, e.g. 10 or 0.5)\n"
    "  --x11              use the X display even when a Wayland compositor is reachable\n"
    "  --stop             end the full-screen show that is running (for an idle daemon's resume)\n"
    "  --settings         the settings dialog\n"
    "  --install-xscreensaver  add vellora --root to ~/.xscreensaver's programs\n"
    "  --help             show this text\n"
    "Settings: $XDG_CONFIG_HOME/vellora/Tessaview.ini (by default ~/.config/vellora/);\n"
    "the options above override them for one run and are never saved. With neither\n"
    "a settings file nor --list, the pictures are those of the first of these folders\n"
    "that holds any, shuffled: imageDirectory in ~/.xscreensaver, XDG_PICTURES_DIR in\n"
    "~/.config/user-dirs.dirs, ~/Pictures. What a folder holds is cached in\n"
    "$XDG_CACHE_HOME/vellora, the shuffle's round in $XDG_STATE_HOME/vellora.\n"
    "Pictures are decoded by vellora-decoder, a locked-down process beside this program\n"
    "(seccomp, resource limits); where it cannot be (a kernel without seccomp, a\n"
    "sanitizer build, no vellora-decoder), the show says so once on standard error and\n"
    "decodes them itself.\n";

// `screensaverWindow` is the XSCREENSAVER_WINDOW variable, or null.
CommandLine parseCommandLine(int argc, const char* const* argv, const char* screensaverWindow);
// MINUTES of --idle in milliseconds: a decimal number with up to three decimals,
// more than 0 and at most a week; 0 when it is not one.
std::uint64_t parseIdleMinutes(const char* text);
// The window id as written, or 0 when it is not one.
unsigned long parseWindowId(const char* text);

}  // namespace vellora::linux_platform
