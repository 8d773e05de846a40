#include "slideshow/controller.h"

#include "effects/catalogue.h"
#include "platform/messages.h"
#include "resources/gbk_text.h"
#include "shell/shell.h"
#include "slideshow/numeric.h"
#include "slideshow/picture_source.h"
#include "slideshow/random.h"
#include "slideshow/settings_file.h"
#include "slideshow/slide_state.h"

namespace vellora {
namespace {

void startShow(WindowHandle window) {
    SlideState& s = slideState();
    WindowServices& windows = *platform().windows;
    s.hdc = windows.deviceContext(window);
    s.window = window;

    std::unique_ptr<InputFile> file = openSettingsFile();
    if (!file) {
        windows.messageBox(window, gbk::cannotOpenSettings, settingsFilePath());
        return;
    }
    Settings settings{s.imageListPath, s.effectIndex, s.delaySeconds, s.randomOrder};
    readSettings(*file, settings);
    file.reset();
    s.imageListPath = settings.imageListPath;
    s.effectIndex = settings.effectIndex;
    s.delaySeconds = settings.delaySeconds;
    s.randomOrder = settings.randomOrder;

    s.imageCount = 0;
    std::optional<std::int32_t> count = countImages(s.imageListPath);
    if (!count) {
        windows.messageBox(window, gbk::cannotOpenImageList, "ERROR");
        return;
    }
    s.imageCount = *count;

    seedRandom(static_cast<std::uint32_t>(platform().clock->calendarSeconds()));
    if (s.hdc) measureDisplay(*s.hdc);
    s.timerId = windows.setTimer(window, slideTimer, 1);
}

void tick(WindowHandle window) {
    SlideState& s = slideState();
    if (s.notFoundBoxOpen) return;
    if (s.firstTick) {
        WindowServices& windows = *platform().windows;
        windows.killTimer(window, slideTimer);
        s.timerId = windows.setTimer(window, slideTimer, wrappingMultiply(s.delaySeconds, 1000u));
        s.firstTick = 0;
    }
    catalogueRow(s.effectIndex).clear();
    showNextPicture();
}

// A display that reports no physical size would give infinite pixels per
// millimetre; it counts as 96 pixels per inch instead.
double pixelsPerMm(std::int32_t pixels, std::int32_t millimetres) {
    if (millimetres <= 0) return 96.0 / 25.4;
    return static_cast<double>(pixels) / static_cast<double>(millimetres);
}

}  // namespace

void measureDisplay(Canvas& canvas) {
    SlideState& s = slideState();
    DeviceMetrics m = canvas.metrics();
    s.screenWidth = m.horzRes;
    s.screenHeight = m.vertRes;
    s.pixelsPerMmX = pixelsPerMm(m.horzRes, m.horzSize);
    s.pixelsPerMmY = pixelsPerMm(m.vertRes, m.vertSize);
}

MessageResult slideshowProc(WindowHandle window, MessageId message, WParam wParam, LParam lParam) {
    switch (message) {
    case msg::create:
        startShow(window);
        break;
    case msg::timer:
        tick(window);
        break;
    case msg::destroy:
        platform().windows->killTimer(window, slideState().timerId);
        platform().windows->postQuit(0);
        return 0;
    default:
        break;
    }
    return shellDefaultProc(window, message, wParam, lParam);
}

}  // namespace vellora
