#include "platform/linux/show_options.h"

#include <memory>

#include "effects/pacing.h"
#include "platform/linux/linux_internal.h"
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

}  // namespace

void applyShowOptions(const CommandLine& command) {
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

}  // namespace vellora::linux_platform
