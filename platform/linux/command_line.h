// The command line of the native program, in the conventions of X11 screen savers.
//
// Contract: parseCommandLine never fails hard; anything it does not understand
// gives ShowForm::invalid, for which the caller prints usageLine and exits with 2.
// A window id is decimal or hexadecimal with 0x or 0X, nonzero and at most 32 bits.
#pragma once

namespace vellora::linux_platform {

enum class ShowForm { fullScreen, intoWindow, root, ownWindow, help, invalid };

struct CommandLine {
    ShowForm form = ShowForm::fullScreen;
    unsigned long window = 0;  // for intoWindow, and for root when the environment names one
};

inline constexpr const char* usageLine = "usage: vellora [--window-id ID | --root | --window | --help]";
inline constexpr const char* helpText =
    "usage: vellora [--window-id ID | --root | --window | --help]\n"
    "A picture slide show for the X Window System.\n"
    "  (no option)      full screen; a key, a click or moving the pointer ends it\n"
    "  --window-id ID   draw into the window ID (decimal, or hexadecimal with 0x)\n"
    "  --root           draw into $XSCREENSAVER_WINDOW, else into the root window\n"
    "  --window         show in an ordinary window; closing it ends the show\n"
    "  --help           show this text\n"
    "Settings: $XDG_CONFIG_HOME/vellora/Tessaview.ini (by default ~/.config/vellora/).\n";

// `screensaverWindow` is the XSCREENSAVER_WINDOW variable, or null.
CommandLine parseCommandLine(int argc, const char* const* argv, const char* screensaverWindow);
// The window id as written, or 0 when it is not one.
unsigned long parseWindowId(const char* text);

}  // namespace vellora::linux_platform
