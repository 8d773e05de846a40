// The settings dialog on Linux: template 2003 rebuilt as a modal GTK 3 window and
// driven by the portable settingsDialogProc.
//
// Contract:
// - runSettingsDialogGtk() starts GTK, installs this platform's Files, a window
//   service whose message box is a GTK message dialog, and the GTK dialog services,
//   and runs the dialog. It returns the dialog's result: 1 after OK (also when the
//   save failed and its message was shown), 0 after Cancel, Esc or the close box,
//   and 0 when the settings file cannot be opened, in which case no window is ever
//   shown. It returns -1 when GTK cannot start (no display).
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

int runSettingsDialogGtk();

}  // namespace vellora::linux_platform
