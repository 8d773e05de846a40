#include "platform/linux/show_options.h"

#include <errno.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

#include "effects/pacing.h"
#include "platform/decoding/picture_loader.h"
#include "platform/linux/folder_catalogue.h"
#include "platform/linux/linux_internal.h"
#include "platform/linux/linux_options.h"
#include "platform/linux/photo_pictures.h"
#include "slideshow/fitted_picture.h"
#include "slideshow/settings_file.h"

namespace vellora::linux_platform {
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

// The most of standard input `--list -` takes, as --help says.
constexpr std::size_t standardInputLimit = 64u << 20;

}  // namespace

std::string readListUpTo(int fd, std::size_t limit) {
    std::string bytes;
    char buffer[65536];
    while (bytes.size() <= limit && !stopRequested()) {
        pollfd waits[2] = {{fd, POLLIN, 0}, {stopWakeDescriptor(), POLLIN, 0}};
        if (poll(waits, waits[1].fd < 0 ? 1 : 2, -1) < 0 && errno != EINTR) break;
        if (waits[1].revents) break;
        if (!waits[0].revents) continue;
        const ssize_t n = read(fd, buffer, std::min(sizeof buffer, limit + 1 - bytes.size()));
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n == 0) return bytes;
        if (n < 0) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    // Cut short: the line the limit or the stop broke is left out.
    bytes.erase(limit == 0 ? 0 : std::min(bytes.size(), bytes.rfind('\n', limit - 1) + 1));
    return bytes;
}

void applyShowOptions(const CommandLine& given) {
    CommandLine command = given;
    applyLinuxOptionsFile(command);
    bool shuffle = command.shuffle;
    if (!command.overrides.imageListPath && settingsFileMissing()) {
        if (std::optional<std::string> folder = defaultPictureFolder()) {
            command.overrides.imageListPath = *folder;
            // Someone who has set nothing up should not see the same first photos at every start.
            if (!command.overrides.randomOrder) shuffle = true;
        }
    }
    if (command.overrides.imageListPath == "-")
        folderCatalogue().setStandardInputList(readListUpTo(0, standardInputLimit));
    folderCatalogue().setShuffle(shuffle);
    if (command.overrides.any()) overrideSettings(command.overrides);
    setTurnPhotosUpright(command.upright);
    setPacedTransitions(command.paced);
    if (const PhotoOptions photo{command.caption, command.backdrop}; photo.any()) {
        setReadDatesTaken(photo.caption);
        static PhotoLoader photos(pictureLoader(), command.fit, photo);
        Platform withPhotos = platform();
        withPhotos.pictures = &photos;
        installPlatform(withPhotos);
    } else if (command.fit) {
        static FittingLoader fitting(pictureLoader());
        Platform withFitting = platform();
        withFitting.pictures = &fitting;
        installPlatform(withFitting);
    }
}

}  // namespace vellora::linux_platform
