#include "platform/x11/x11_show.h"

#include <cstdio>
#include <string>

#include "platform/decoding/picture_loader.h"
#include "platform/linux/show_options.h"
#include "platform/linux/show_pid_file.h"
#include "platform/x11/x11_internal.h"
#include "platform/x11/x11_loop.h"
#include "shell/shell.h"

namespace vellora::linux_platform {
namespace {

// A show started for one monitor covers that one; the first show covers the
// first monitor and starts the others' later. One monitor: the whole screen, as ever.
void chooseMonitor(const CommandLine& command) {
    X11Session& s = session();
    if (command.monitor) {
        s.monitor = command.monitor;
        s.followsFirst = true;
        return;
    }
    std::vector<MonitorArea> monitors = findMonitors();
    if (monitors.size() < 2) return;
    s.monitor = monitors.front();
    s.otherMonitors.assign(monitors.begin() + 1, monitors.end());
    s.arguments = command.arguments;
}

}  // namespace

int runShowOnX11(const CommandLine& command) {
    if (!openSession()) {
        std::fputs("vellora: cannot open the X display\n", stderr);
        return 1;
    }
    installLinuxPlatform(windowServices(), shell());
    setInputCheckWhileLoading(stopOnWaitingInput);
    eventLoop().messagesOnWindow = command.form == ShowForm::root;
    applyShowOptions(command);

    if (command.form == ShowForm::fullScreen) chooseMonitor(command);

    unsigned long window = command.window;
    if (command.form == ShowForm::root && window == 0) window = DefaultRootWindow(session().display);
    if (command.form == ShowForm::ownWindow) window = createOwnWindow();
    // The shell's own mode switches: full screen, or a show inside a given window.
    const std::string mode = command.form == ShowForm::fullScreen ? "/s" : "/p " + std::to_string(window);
    const std::intptr_t result = shellMain(0, mode.c_str());
    forgetRunningShow();
    closeSession();
    endMonitorShows();
    return static_cast<int>(result & 0xFF);
}

}  // namespace vellora::linux_platform
