// Process entry of the native program: the X11 screen-saver conventions on the
// command line, then the same shell as on Windows on the display system chosen:
// Wayland where a compositor is reachable (also under XWayland, where DISPLAY is
// set too) unless --x11 asks for X11, and X11 otherwise.
#include <cstdio>
#include <cstdlib>

#include "platform/gtk/gtk_dialog.h"
#include "platform/linux/command_line.h"
#include "platform/linux/idle_watch.h"
#include "platform/linux/linux_internal.h"
#include "platform/linux/program_text.h"
#include "platform/linux/show_pid_file.h"
#include "platform/linux/user_files.h"
#include "platform/linux/xscreensaver_setup.h"
#include "platform/wayland/wayland_idle.h"
#include "platform/wayland/wayland_show.h"
#include "platform/x11/x11_idle.h"
#include "platform/x11/x11_show.h"

using namespace vellora::linux_platform;

namespace {

// The sources of idle time, in the order the session is asked: the Wayland
// compositor's own notices first, then GNOME's monitor on the bus, then the X
// server's (the only one under X11 without GNOME).
int watchForIdle(const CommandLine& command) {
    IdleWatch watch;
    watch.thresholdMs = command.idleMs;
    watch.showArguments = command.arguments;
    watch.sources = {openWaylandIdleSource, openGnomeIdleSource, openX11IdleSource};
    watch.anotherSaverRunning = xscreensaverRunning;
    return runIdleWatcher(watch);
}

}  // namespace

int main(int argc, char** argv) {
    text::startTranslations();
    const CommandLine command = parseCommandLine(argc, argv, std::getenv("XSCREENSAVER_WINDOW"));
    switch (command.form) {
    case ShowForm::help:
        for (const char* paragraph : helpParagraphs) std::fputs(text::tr(paragraph), stdout);
        return 0;
    case ShowForm::invalid:
        std::fprintf(stderr, "%s\n", usageLine);
        return 2;
    case ShowForm::settings:
        return runSettingsDialogGtk(xscreensaverRunning);
    case ShowForm::installXscreensaver:
        return installIntoXscreensaver(homeFolder());
    case ShowForm::stop:
        return stopRunningShows();
    default:
        break;
    }
    installStopSignals();
    if (command.form == ShowForm::idle) return watchForIdle(command);
    if (!command.forceX11)
        if (const std::optional<int> code = runShowOnWaylandIfReachable(command)) return *code;
    return runShowOnX11(command);
}
