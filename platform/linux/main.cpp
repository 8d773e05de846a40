// Process entry of the native program: the X11 screen-saver conventions on the
// command line, then the same shell as on Windows on the display system chosen.
#include <cstdio>
#include <cstdlib>

#include "platform/gtk/gtk_dialog.h"
#include "platform/linux/command_line.h"
#include "platform/linux/linux_internal.h"
#include "platform/linux/xscreensaver_setup.h"
#include "platform/x11/x11_show.h"

using namespace vellora::linux_platform;

int main(int argc, char** argv) {
    const CommandLine command = parseCommandLine(argc, argv, std::getenv("XSCREENSAVER_WINDOW"));
    switch (command.form) {
    case ShowForm::help:
        std::fputs(helpText, stdout);
        return 0;
    case ShowForm::invalid:
        std::fprintf(stderr, "%s\n", usageLine);
        return 2;
    case ShowForm::settings:
        return runSettingsDialogGtk();
    case ShowForm::installXscreensaver:
        return installIntoXscreensaver();
    default:
        break;
    }
    installStopSignals();
    return runShowOnX11(command);
}
