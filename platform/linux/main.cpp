// Process entry of the native program: the X11 screen-saver conventions on the
// command line, then the same shell as on Windows on the display system chosen:
// Wayland where a compositor is reachable (also under XWayland, where DISPLAY is
// set too) unless --x11 asks for X11, and X11 otherwise.
#include <cstdio>
#include <cstdlib>

#include "platform/gtk/gtk_dialog.h"
#include "platform/linux/command_line.h"
#include "platform/linux/linux_internal.h"
#include "platform/linux/show_pid_file.h"
#include "platform/linux/xscreensaver_setup.h"
#include "platform/wayland/wayland_show.h"
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
    case ShowForm::stop:
        return stopRunningShow();
    default:
        break;
    }
    installStopSignals();
    if (!command.forceX11)
        if (const std::optional<int> code = runShowOnWaylandIfReachable(command)) return *code;
    return runShowOnX11(command);
}
