#include "slideshow/picture_source.h"

#include "effects/catalogue.h"
#include "resources/gbk_text.h"
#include "slideshow/numeric.h"
#include "slideshow/random.h"
#include "slideshow/slide_state.h"
#include "slideshow/text_input.h"

namespace vellora {
namespace {
constexpr int attemptsPerTick = 10;

PictureCatalogue* catalogueFor(const std::string& source) {
    PictureCatalogue* catalogue = platform().catalogue;
    return catalogue && catalogue->takes(source) ? catalogue : nullptr;
}
}  // namespace

std::optional<std::int32_t> countImages(const std::string& imageListPath) {
    if (PictureCatalogue* catalogue = catalogueFor(imageListPath)) return catalogue->count();
    std::unique_ptr<InputFile> list = platform().files->openForReading(imageListPath);
    if (!list) return std::nullopt;
    TextInput in(*list, longestPathBytes());
    std::uint32_t count = 0;
    std::string line;
    while (in.readLine(line)) ++count;
    return static_cast<std::int32_t>(count);
}

void pickNextIndex() {
    SlideState& s = slideState();
    if (PictureCatalogue* catalogue = catalogueFor(s.imageListPath)) {
        // A catalogue may still be finding pictures: the choice is among those known now.
        s.imageCount = catalogue->count();
        if (const std::int32_t next = catalogue->chooseNext(); next >= 0) {
            s.currentIndex = next;
            return;
        }
    }
    if (s.randomOrder == 1) {
        // The draw is taken even from an empty list, so every attempt draws once.
        const std::int32_t r = drawRandom();
        s.currentIndex = s.imageCount > 0 ? r % s.imageCount : 0;
    } else {
        s.currentIndex = s.currentIndex + 1 >= s.imageCount ? 0 : s.currentIndex + 1;
    }
}

std::string readListEntry() {
    const SlideState& s = slideState();
    if (PictureCatalogue* catalogue = catalogueFor(s.imageListPath)) return catalogue->entry(s.currentIndex);
    std::unique_ptr<InputFile> list = platform().files->openForReading(s.imageListPath);
    if (!list) return {};
    TextInput in(*list, longestPathBytes());
    std::string line;
    for (std::int64_t i = 0; i <= s.currentIndex; ++i) in.readLine(line);
    return line;
}

std::unique_ptr<Picture> loadPicture(const std::string& path) {
    if (path.empty()) return nullptr;
    return platform().pictures->loadPictureFile(path);
}

void placePicture() {
    SlideState& s = slideState();
    s.drawWidth = trunc32(static_cast<double>(s.pictureWidth) * s.pixelsPerMmX * 0.01);
    s.drawHeight = trunc32(static_cast<double>(s.pictureHeight) * s.pixelsPerMmY * 0.01);
    s.drawLeft = (s.screenWidth - s.drawWidth) / 2;
    s.drawTop = (s.screenHeight - s.drawHeight) / 2;
}

void showNextPicture() {
    SlideState& s = slideState();
    std::unique_ptr<Picture> picture;
    for (int attempt = 0; attempt < attemptsPerTick && !picture; ++attempt) {
        pickNextIndex();
        picture = loadPicture(readListEntry());
    }
    if (!picture) {
        s.notFoundBoxOpen = true;
        platform().windows->messageBox(s.window, gbk::pictureNotFound, "INFO");
        s.notFoundBoxOpen = false;
        return;
    }
    if (PictureCatalogue* catalogue = catalogueFor(s.imageListPath)) catalogue->loaded(s.currentIndex);
    s.pictureWidth = picture->widthHimetric();
    s.pictureHeight = picture->heightHimetric();
    placePicture();
    catalogueRow(s.effectIndex).reveal(*picture);
}

}  // namespace vellora
