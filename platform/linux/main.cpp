// Process entry of the native program: the X11 screen-saver conventions on the
// command line, then the same shell as on Windows.
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "effects/pacing.h"
#include "platform/linux/command_line.h"
#include "platform/linux/folder_catalogue.h"
#include "platform/linux/gtk_dialog.h"
#include "platform/linux/linux_internal.h"
#include "platform/linux/xscreensaver_setup.h"
#include "shell/shell.h"
#include "slideshow/fitted_picture.h"
#include "slideshow/settings_file.h"

using namespace vellora;
using namespace vellora::linux_platform;

namespace {

// The settings file as it is, with the command line's values in place of its own;
// a missing file counts as the defaults, since the options may name everything.
void overrideSettings(const SettingsOverrides& overrides) {
    Settings settings;
    if (std::unique_ptr<InputFile> file = openSettingsFile()) readSettings(*file, settings);
    if (overrides.imageListPath) settings.imageListPath = *overrides.imageListPath;
    if (overrides.effectIndex) settings.effectIndex = *overrides.effectIndex;
    if (overrides.delaySeconds) settings.delaySeconds = *overrides.delaySeconds;
    if (overrides.randomOrder) settings.randomOrder = *overrides.randomOrder;
    useSettingsForThisRun(encodeSettings(settings));
}

// Missing, that is: a settings file that cannot be read is the user's and says no.
bool settingsFileMissing() {
    struct stat info {};
    return stat(localPath(settingsFilePath()).c_str(), &info) != 0 && errno == ENOENT;
}

// The list of `--list -`, read whole before the show starts; at most what a million
// entries of whole path buffers can fill.
std::string standardInput() {
    constexpr std::size_t limit = 64u << 20;
    std::string bytes;
    char buffer[65536];
    for (ssize_t n; bytes.size() < limit && (n = read(0, buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        bytes.append(buffer, static_cast<std::size_t>(std::min<std::size_t>(static_cast<std::size_t>(n), limit - bytes.size())));
    }
    return bytes;
}

void applyShowOptions(CommandLine command) {
    bool shuffle = command.shuffle;
    if (!command.overrides.imageListPath && settingsFileMissing()) {
        if (std::optional<std::string> folder = defaultPictureFolder()) {
            command.overrides.imageListPath = *folder;
            // Someone who has set nothing up should not see the same first photos at every start.
            if (!command.overrides.randomOrder) shuffle = true;
        }
    }
    if (command.overrides.imageListPath == "-") folderCatalogue().setStandardInputList(standardInput());
    folderCatalogue().setShuffle(shuffle);
    if (command.overrides.any()) overrideSettings(command.overrides);
    setTurnPhotosUpright(command.upright);
    setPacedTransitions(command.paced);
    if (command.fit) {
        static FittingLoader fitting(pictureLoader());
        Platform withFitting = platform();
        withFitting.pictures = &fitting;
        installPlatform(withFitting);
    }
}

}  // namespace

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
    if (!openSession()) {
        std::fputs("vellora: cannot open the X display\n", stderr);
        return 1;
    }
    installLinuxPlatform();
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
