#include "slideshow/fitted_picture.h"

#include <cmath>

#include "slideshow/numeric.h"
#include "slideshow/slide_state.h"

namespace vellora {

// Pixels for a HIMETRIC length, exactly as placePicture converts it.
std::int32_t placedPixels(std::int32_t himetric, double pixelsPerMm) {
    return trunc32(static_cast<double>(himetric) * pixelsPerMm * 0.01);
}

// The smallest HIMETRIC length that placePicture turns into `pixels`, or, on a
// display so dense that no length gives exactly that, the largest one that stays
// below it. The estimate is off by a unit or two at most; the bounded walks
// correct it.
std::int32_t himetricForPixels(std::int32_t pixels, double pixelsPerMm) {
    std::int32_t h = trunc32(std::ceil(static_cast<double>(pixels) / (pixelsPerMm * 0.01)));
    if (h < 1) h = 1;
    for (int i = 0; i < 8 && h > 1 && placedPixels(h - 1, pixelsPerMm) >= pixels; ++i) --h;
    for (int i = 0; i < 8 && placedPixels(h, pixelsPerMm) < pixels; ++i) ++h;
    for (int i = 0; i < 8 && h > 1 && placedPixels(h, pixelsPerMm) > pixels; ++i) --h;
    return h;
}

namespace {

bool usable(double pixelsPerMm) { return std::isfinite(pixelsPerMm) && pixelsPerMm > 0.0; }

// Scales a source coordinate by to / from, rounded to the nearest unit.
std::int32_t rescale(std::int64_t value, std::int32_t to, std::int32_t from) {
    return trunc32(std::floor(static_cast<double>(value) * to / from + 0.5));
}

class FittedPicture : public Picture {
public:
    FittedPicture(std::unique_ptr<Picture> real, HimetricSize shown) : real_(std::move(real)), shown_(shown) {}
    std::int32_t widthHimetric() const override { return shown_.width; }
    std::int32_t heightHimetric() const override { return shown_.height; }
    void renderTo(Canvas& canvas, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy,
                  std::int32_t xSrc, std::int32_t ySrc, std::int32_t cxSrc, std::int32_t cySrc) const override {
        // Both edges are mapped, not the extent, so bands that abut in the shown
        // picture abut in the real one too.
        const std::int32_t realW = real_->widthHimetric(), realH = real_->heightHimetric();
        const std::int32_t left = rescale(xSrc, realW, shown_.width);
        const std::int32_t right = rescale(std::int64_t{xSrc} + cxSrc, realW, shown_.width);
        const std::int32_t top = rescale(ySrc, realH, shown_.height);
        const std::int32_t bottom = rescale(std::int64_t{ySrc} + cySrc, realH, shown_.height);
        real_->renderTo(canvas, x, y, cx, cy, left, top, wrappingDifference(right, left),
                        wrappingDifference(bottom, top));
    }

private:
    static std::int32_t wrappingDifference(std::int32_t a, std::int32_t b) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
    }

    std::unique_ptr<Picture> real_;
    HimetricSize shown_;
};

}  // namespace

std::unique_ptr<Picture> shownAtSize(std::unique_ptr<Picture> picture, HimetricSize shown) {
    return std::make_unique<FittedPicture>(std::move(picture), shown);
}

FitDisplay currentDisplay() {
    const SlideState& s = slideState();
    return {s.screenWidth, s.screenHeight, s.pixelsPerMmX, s.pixelsPerMmY};
}

std::optional<HimetricSize> fittedSize(HimetricSize natural, const FitDisplay& display) {
    if (natural.width <= 0 || natural.height <= 0 || display.width <= 0 || display.height <= 0) return std::nullopt;
    if (!usable(display.pixelsPerMmX) || !usable(display.pixelsPerMmY)) return std::nullopt;
    if (placedPixels(natural.width, display.pixelsPerMmX) <= display.width &&
        placedPixels(natural.height, display.pixelsPerMmY) <= display.height)
        return std::nullopt;

    // The untruncated pixel size keeps the proportions of the picture itself.
    const double w = static_cast<double>(natural.width) * display.pixelsPerMmX * 0.01;
    const double h = static_cast<double>(natural.height) * display.pixelsPerMmY * 0.01;
    std::int32_t fitW = display.width, fitH = display.height;
    if (w * display.height >= h * display.width)
        fitH = trunc32(std::floor(h * display.width / w + 0.5));
    else
        fitW = trunc32(std::floor(w * display.height / h + 0.5));
    // A sliver keeps at least one pixel, and rounding never passes the display.
    fitW = fitW < 1 ? 1 : (fitW > display.width ? display.width : fitW);
    fitH = fitH < 1 ? 1 : (fitH > display.height ? display.height : fitH);
    return HimetricSize{himetricForPixels(fitW, display.pixelsPerMmX), himetricForPixels(fitH, display.pixelsPerMmY)};
}

std::unique_ptr<Picture> fitToDisplay(std::unique_ptr<Picture> picture, const FitDisplay& display) {
    if (!picture) return picture;
    const std::optional<HimetricSize> size =
        fittedSize({picture->widthHimetric(), picture->heightHimetric()}, display);
    if (!size) return picture;
    return shownAtSize(std::move(picture), *size);
}

std::unique_ptr<Picture> FittingLoader::loadPictureFile(const std::string& path) {
    return fitToDisplay(inner_.loadPictureFile(path), currentDisplay());
}

}  // namespace vellora
