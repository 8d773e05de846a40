// Runs the GTK settings dialog alone, as `vellora --settings` does, so the tests
// can start it and read its exit code.
#include <cstdio>

#include "platform/gtk/gtk_dialog.h"
#include "platform/x11/x11_idle.h"

int main() {
    const int result = vellora::linux_platform::runSettingsDialogGtk(vellora::linux_platform::xscreensaverRunning);
    if (result < 0) std::fputs("vellora-settings-gtk: cannot open the display\n", stderr);
    return result < 0 ? 2 : result;
}
