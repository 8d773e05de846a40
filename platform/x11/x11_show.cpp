#include "platform/x11/x11_show.h"

#include <cstdio>
#include <string>

#include "platform/linux/show_options.h"
#include "platform/x11/x11_internal.h"
#include "shell/shell.h"

namespace vellora::linux_platform {

int runShowOnX11(const CommandLine& command) {
    if (!openSession()) {
        std::fputs("vellora: cannot open the X display\n", stderr);
        return 1;
    }
    installLinuxPlatform(windowServices(), shell());
    applyShowOptions(command);

    unsigned long window = command.window;
    if (command.form == ShowForm::root && window == 0) window = DefaultRootWindow(session().display);
    if (command.form == ShowForm::ownWindow) window = createOwnWindow();
    // The shell's own mode switches: full screen, or a show inside a given window.
    const std::string mode = command.form == ShowForm::fullScreen ? "/s" : "/p " + std::to_string(window);
    const std::intptr_t result = shellMain(0, mode.c_str());
    closeSession();
    return static_cast<int>(result & 0xFF);
}

}  // namespace vellora::linux_platform
