#include "platform/linux/show_options.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

#include "effects/pacing.h"
#include "platform/decoding/picture_loader.h"
#include "platform/linux/folder_catalogue.h"
#include "platform/linux/linux_internal.h"
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

// The list of `--list -`, read whole before the show starts; at most what a million
// entries of whole path buffers can fill.
std::string standardInput() {
    constexpr std::size_t limit = 64u << 20;
    std::string bytes;
    char buffer[65536];
    for (ssize_t n; bytes.size() < limit && (n = read(0, buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        bytes.append(buffer, std::min(static_cast<std::size_t>(n), limit - bytes.size()));
    }
    return bytes;
}

}  // namespace

void applyShowOptions(const CommandLine& given) {
    CommandLine command = given;
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
    if (command.photos.any()) {
        setReadDatesTaken(command.photos.caption);
        static PhotoLoader photos(pictureLoader(), command.fit, command.photos);
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
