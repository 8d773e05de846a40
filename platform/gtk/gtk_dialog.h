// The settings dialog on Linux: template 2003 rebuilt as a modal GTK 3 window and
// driven by the portable settingsDialogProc.
//
// Contract:
// - runSettingsDialogGtk() starts GTK, installs this platform's Files, a window
//   service whose message box is a GTK message dialog, and the GTK dialog services,
//   and runs the dialog. It returns the dialog's result: 1 after OK (also when the
//   save failed and its message was shown), 0 after Cancel, Esc or the close box,
//   and 0 when the settings file exists but cannot be read, which a message box
//   says (no dialog is shown and nothing is written). Without a settings file the
//   dialog shows what the show would use now (the default picture folder, or an
//   empty path, and the dialog's defaults), and OK writes the file. It returns -1
//   when GTK cannot start (no display).
// - Texts are in the session's language (platform/linux/program_text.h).
// - Below the template's controls are Linux's own (platform/gtk/gtk_linux_options.cpp).
// - The settings file is "Tessaview.ini" in $XDG_CONFIG_HOME/vellora, by default
//   ~/.config/vellora.
// - The control identifiers of the template name the widgets: 1 OK, 2 Cancel,
//   1001 the image list's path, 1002 the delay, 1003 the effect list, 1004 the
//   random-order check box. Each of those widgets' accessible id is its identifier
//   in decimal, so assistive tools and tests can tell them apart.
// - Texts are GBK at the core's side and UTF-8 at GTK's; the path field holds the
//   file system's bytes (see dialog_text.h). A path left as it was shown is saved
//   with exactly the bytes it was read with.
#pragma once

namespace vellora::linux_platform {

// `xscreensaverRuns` tells whether the xscreensaver daemon runs the session's screen
// saving (the idle start is then not offered); may be null.
int runSettingsDialogGtk(bool (*xscreensaverRuns)() = nullptr);

}  // namespace vellora::linux_platform
