// Process entry of the native program: the X11 screen-saver conventions on the
// command line, then the same shell as on Windows.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/linux/command_line.h"
#include "platform/linux/linux_internal.h"
#include "shell/shell.h"

using namespace vellora;
using namespace vellora::linux_platform;

int main(int argc, char** argv) {
    const CommandLine command = parseCommandLine(argc, argv, std::getenv("XSCREENSAVER_WINDOW"));
    if (command.form == ShowForm::help) {
        std::fputs(helpText, stdout);
        return 0;
    }
    if (command.form == ShowForm::invalid) {
        std::fprintf(stderr, "%s\n", usageLine);
        return 2;
    }
    installStopSignals();
    if (!openSession()) {
        std::fputs("vellora: cannot open the X display\n", stderr);
        return 1;
    }
    installLinuxPlatform();

    unsigned long window = command.window;
    if (command.form == ShowForm::root && window == 0) window = DefaultRootWindow(session().display);
    if (command.form == ShowForm::ownWindow) window = createOwnWindow();
    // The shell's own mode switches: full screen, or a show inside a given window.
    const std::string mode = command.form == ShowForm::fullScreen ? "/s" : "/p " + std::to_string(window);
    const std::intptr_t result = shellMain(0, mode.c_str());
    return static_cast<int>(result & 0xFF);
}
