// Pictures shrunk to fit the display, for the option that shows a picture larger
// than the screen whole instead of cut off at the screen's edges.
//
// Contract:
// - A fitted picture reports a smaller natural size, so the picture source places
//   it, as it places any picture, inside the display: the draw rectangle that
//   placePicture computes from that size is at most the display's size, touches
//   the display's edges along the limiting side, and keeps the picture's
//   proportions to within one pixel. Every transition then runs unchanged.
// - Every source rectangle a transition draws with is mapped back, edge by edge,
//   into the real picture's HIMETRIC units before the real picture draws it
//   (Picture::renderTo), so the platform only ever sees its own pictures.
// - A picture that already fits, has no positive size, or meets a display with no
//   positive size is passed through untouched.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/platform.h"

namespace vellora {

// The display as placePicture sees it.
struct FitDisplay {
    std::int32_t width = 0;   // pixels
    std::int32_t height = 0;
    double pixelsPerMmX = 0.0;
    double pixelsPerMmY = 0.0;
};

// The display that SlideState describes now.
FitDisplay currentDisplay();

struct HimetricSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// The smaller natural size that makes the picture fit, or nothing when it needs none.
std::optional<HimetricSize> fittedSize(HimetricSize natural, const FitDisplay& display);

// The picture itself, or a view of it that fits the display.
std::unique_ptr<Picture> fitToDisplay(std::unique_ptr<Picture> picture, const FitDisplay& display);

// A view of the picture at another natural size, drawn as described above.
std::unique_ptr<Picture> shownAtSize(std::unique_ptr<Picture> picture, HimetricSize shown);

// Pixels for a HIMETRIC length, exactly as placePicture converts it.
std::int32_t placedPixels(std::int32_t himetric, double pixelsPerMm);
// The smallest HIMETRIC length that placePicture turns into `pixels`, or, on a
// display so dense that no length gives exactly that, the largest one that stays
// below it.
std::int32_t himetricForPixels(std::int32_t pixels, double pixelsPerMm);

// Loads through another loader and fits each picture to the display that
// SlideState describes at the time of loading, the one the picture source then
// places it on.
class FittingLoader : public PictureLoader {
public:
    explicit FittingLoader(PictureLoader& inner) : inner_(inner) {}
    std::unique_ptr<Picture> loadPictureFile(const std::string& path) override;

private:
    PictureLoader& inner_;
};

}  // namespace vellora
