#include "platform/wayland/wayland_show.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/decoding/picture_loader.h"
#include "platform/linux/show_options.h"
#include "platform/linux/show_pid_file.h"
#include "platform/wayland/wayland_internal.h"
#include "shell/shell.h"

namespace vellora::linux_platform {

using namespace wayland;

std::optional<int> runShowOnWaylandIfReachable(const CommandLine& command) {
    // A daemon that hands us an X11 window runs on XWayland's display, where DISPLAY names it.
    const bool x11Window = command.form == ShowForm::intoWindow || command.form == ShowForm::root;
    const char* x11Display = std::getenv("DISPLAY");
    if (x11Window && x11Display && *x11Display) return std::nullopt;
    if (!connectDisplay()) return std::nullopt;
    if (x11Window) {
        disconnectDisplay();
        std::fputs("vellora: --window-id and --root draw into X11 windows; on Wayland use --window, or --x11\n", stderr);
        return 2;
    }
    if (!globals().compositor || !globals().shm) {
        disconnectDisplay();
        std::fputs("vellora: the Wayland compositor lacks shared-memory surfaces\n", stderr);
        return 1;
    }
    if (command.form == ShowForm::fullScreen && !planMonitors(command.monitor, command.arguments)) {
        // Its output went before the show began: a change of monitors, which ends the others too.
        disconnectDisplay();
        return 0;
    }
    installLinuxPlatform(windowServices(), shell());
    setInputCheckWhileLoading(stopOnWaitingInput);
    applyShowOptions(command);
    // The window has its size before the shell asks for it.
    if (command.form == ShowForm::ownWindow && (!createOwnWindow() || !awaitFirstConfigure())) {
        disconnectDisplay();
        if (stopRequested()) return 0;
        std::fputs("vellora: the Wayland compositor gave no window (xdg-shell)\n", stderr);
        return 1;
    }
    // The shell's own mode switches: full screen, or a show inside the ordinary window.
    const std::string mode = command.form == ShowForm::ownWindow ? "/p " + std::to_string(ownWindowHandle) : "/s";
    const std::intptr_t result = shellMain(0, mode.c_str());
    forgetRunningShow();
    disconnectDisplay();
    endMonitorShows();
    return static_cast<int>(result & 0xFF);
}

}  // namespace vellora::linux_platform
