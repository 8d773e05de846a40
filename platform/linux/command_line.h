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
#include "platform/linux/program_text.h"

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
    bool caption = false;   // --caption: when and where it was taken, in a lower corner
    bool backdrop = false;  // --backdrop: its own colours, blurred and darkened, instead of black
    // A bit for each row of linuxOptions (platform/linux/linux_options.h) whose
    // switch, on or off, the command line gave: it wins over the options file.
    std::uint32_t linuxOptionsGiven = 0;
};

inline constexpr const char* usageLine =
    "usage: vellora [--window-id ID | --root | --window] [--list PATH] [--effect N] [--delay S] "
    "[--random | --no-random | --shuffle] [--fit] [--upright] [--paced] [--caption] [--backdrop] [--no-OPTION] "
    "[--x11] [--idle MINUTES] | --stop | --settings | --install-xscreensaver | --help";
// --help's text, a paragraph an entry, so that a change to one option's lines
// leaves the translations of the others standing.
inline constexpr const char* helpParagraphs[] = {
    N_("usage: vellora [--window-id ID | --root | --window] [OPTION...]\n"
       "       vellora --stop | --settings | --install-xscreensaver | --help\n"
       "A picture slide show for Wayland and the X Window System.\n"),
    N_("  (no option)        full screen; a key, a click or moving the pointer ends it\n"),
    N_("  --window-id ID     draw into the window ID (decimal, or hexadecimal with 0x; X11 only)\n"),
    N_("  --root             draw into $XSCREENSAVER_WINDOW, else into the root window (X11 only)\n"),
    N_("  --window           show in an ordinary window; closing it ends the show\n"),
    N_("  --list PATH        the pictures for this run: an image list file (one picture\n"
       "                     path a line), - for a list on standard input (its whole\n"
       "                     lines within 64 MiB), or a folder, whose pictures are\n"
       "                     found in it and every folder below it\n"),
    N_("  --effect N         the transition row for this run, 0 to 19\n"),
    N_("  --delay S          seconds per picture for this run\n"),
    N_("  --random, --no-random   random or list order for this run\n"),
    N_("  --shuffle          every picture once, in random order, before any repeats;\n"
       "                     a restart, and every other vellora showing the same\n"
       "                     pictures, goes on with the same round\n"),
    N_("  --fit              shrink pictures larger than the screen to fit it\n"),
    N_("  --upright          turn JPEG and TIFF photos upright by their orientation tag\n"),
    N_("  --paced            a pace of their own for the transitions that have none\n"),
    N_("  --caption          write when each photo was taken (its EXIF date, else its\n"
       "                     file's) and its folder below the one shown (or its file\n"
       "                     name, for a list) in a lower corner\n"),
    N_("  --backdrop         behind a picture that leaves the screen's edges bare, the\n"
       "                     picture itself, blurred and darkened, instead of black\n"),
    N_("  --no-fit, --no-upright, --no-paced, --no-shuffle, --no-caption, --no-backdrop\n"
       "                     that option off for this run\n"),
    N_("  --idle MINUTES     stay in the background and show full screen whenever the\n"
       "                     session has been idle MINUTES (a decimal, e.g. 10 or 0.5)\n"),
    N_("  --x11              use the X display even when a Wayland compositor is reachable\n"),
    N_("  --stop             end the full-screen show that is running (for an idle daemon's resume)\n"),
    N_("  --settings         the settings dialog\n"),
    N_("  --install-xscreensaver  add vellora --root to ~/.xscreensaver's programs\n"),
    N_("  --help             show this text\n"),
    N_("Settings: $XDG_CONFIG_HOME/vellora/Tessaview.ini (by default ~/.config/vellora/),\n"
       "and beside it Options.ini for the options from --fit to --backdrop; the settings\n"
       "dialog writes both. The options above override them for one run and are never\n"
       "saved. With neither a settings file nor --list, the pictures are those of the\n"
       "first of these folders that holds any, shuffled: imageDirectory in ~/.xscreensaver,\n"
       "XDG_PICTURES_DIR in ~/.config/user-dirs.dirs, ~/Pictures. What a folder holds is\n"
       "cached in $XDG_CACHE_HOME/vellora, the shuffle's round in $XDG_STATE_HOME/vellora.\n"),
    N_("Pictures are decoded by vellora-decoder, a locked-down process beside this program\n"
       "(seccomp, resource limits); where it cannot be (a kernel without seccomp, a\n"
       "sanitizer build, no vellora-decoder), the show says so once on standard error and\n"
       "decodes them itself.\n"),
};

// `screensaverWindow` is the XSCREENSAVER_WINDOW variable, or null.
CommandLine parseCommandLine(int argc, const char* const* argv, const char* screensaverWindow);
// MINUTES of --idle in milliseconds: a decimal number with up to three decimals,
// more than 0 and at most a week; 0 when it is not one.
std::uint64_t parseIdleMinutes(const char* text);
// The window id as written, or 0 when it is not one.
unsigned long parseWindowId(const char* text);

}  // namespace vellora::linux_platform
