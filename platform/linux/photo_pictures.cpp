#include "platform/linux/photo_pictures.h"

#include <cmath>
#include <new>

#include "platform/backdrop.h"
#include "platform/decoding/picture_loader.h"
#include "platform/linux/photo_caption.h"
#include "platform/pixel_drawing.h"
#include "slideshow/slide_state.h"

namespace vellora::linux_platform {
namespace {

// The most pixels a composed display may have: an 8K display, twice over.
constexpr std::uint64_t maxComposedPixels = 2ull * 7680 * 4320;

// Pixels in memory, drawn on as a window's canvas draws.
class MemoryCanvas : public Canvas {
public:
    explicit MemoryCanvas(SurfaceView view) : view_(view) {}
    DeviceMetrics metrics() override { return {view_.width, view_.height, 0, 0}; }
    void fillBlack(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) override {
        fillPixels(view_, left, top, right, bottom, 0);
    }
    void render(const Picture& picture, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy,
                std::int32_t xSrc, std::int32_t ySrc, std::int32_t cxSrc, std::int32_t cySrc) override {
        const auto& p = static_cast<const PixelPicture&>(picture);
        const SourcePixels source{p.pixels(), p.width(), p.height(), p.widthHimetric(), p.heightHimetric()};
        renderPicture(view_, source, x, y, cx, cy, xSrc, ySrc, cxSrc, cySrc);
    }
    void selectBlackBrush() override {}
    void pie(std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
             std::int32_t) override {}

private:
    SurfaceView view_;
};

void drawWhole(const Picture& picture, Canvas& canvas, const PixelRect& at) {
    const std::int32_t w = picture.widthHimetric(), h = picture.heightHimetric();
    picture.renderTo(canvas, at.left, at.top, at.right - at.left, at.bottom - at.top, 0, h, w, -h);
}

// A picture whose caption the show's canvas writes once the picture has been revealed.
class CaptionedPicture : public Picture {
public:
    CaptionedPicture(std::unique_ptr<Picture> picture, std::string caption)
        : picture_(std::move(picture)), caption_(std::move(caption)) {}
    ~CaptionedPicture() override {
        // The show releases each picture right after its reveal's last drawing.
        try {
            if (auto* canvas = dynamic_cast<CaptionCanvas*>(slideState().hdc)) canvas->showCaption(caption_);
        } catch (const std::bad_alloc&) {
            // No caption this time.
        }
    }
    std::int32_t widthHimetric() const override { return picture_->widthHimetric(); }
    std::int32_t heightHimetric() const override { return picture_->heightHimetric(); }
    void renderTo(Canvas& canvas, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy, std::int32_t xSrc,
                  std::int32_t ySrc, std::int32_t cxSrc, std::int32_t cySrc) const override {
        picture_->renderTo(canvas, x, y, cx, cy, xSrc, ySrc, cxSrc, cySrc);
    }

private:
    std::unique_ptr<Picture> picture_;
    std::string caption_;
};

bool usable(const FitDisplay& d) {
    return d.width > 0 && d.height > 0 && std::isfinite(d.pixelsPerMmX) && d.pixelsPerMmX > 0 &&
           std::isfinite(d.pixelsPerMmY) && d.pixelsPerMmY > 0 &&
           static_cast<std::uint64_t>(d.width) * static_cast<std::uint64_t>(d.height) <= maxComposedPixels;
}

}  // namespace

std::unique_ptr<Picture> withBackdrop(std::unique_ptr<Picture> picture, const FitDisplay& display,
                                      std::vector<std::uint32_t>& storage) {
    if (!picture || !usable(display)) return picture;
    // Where the picture source will place it, to the pixel.
    const std::int32_t w = placedPixels(picture->widthHimetric(), display.pixelsPerMmX);
    const std::int32_t h = placedPixels(picture->heightHimetric(), display.pixelsPerMmY);
    const std::int32_t left = (display.width - w) / 2, top = (display.height - h) / 2;
    const bool fills = left <= 0 && top <= 0 && std::int64_t{left} + w >= display.width &&
                       std::int64_t{top} + h >= display.height;
    if (w <= 0 || h <= 0 || fills) return picture;
    try {
        const CoverPlan plan = planCover(display.width, display.height, w, h);
        std::vector<std::uint32_t> cover(static_cast<std::size_t>(plan.width) * static_cast<std::size_t>(plan.height));
        MemoryCanvas coverCanvas({cover.data(), plan.width, plan.height});
        drawWhole(*picture, coverCanvas, plan.picture);
        storage.resize(static_cast<std::size_t>(display.width) * static_cast<std::size_t>(display.height));
        const SurfaceView screen{storage.data(), display.width, display.height};
        const PixelRect placed{left, top, left + w, top + h};
        paintBackdrop({cover.data(), plan.width, plan.height}, screen, placed);
        MemoryCanvas screenCanvas(screen);
        drawWhole(*picture, screenCanvas, placed);
    } catch (const std::bad_alloc&) {
        return picture;
    }
    auto composed = std::make_unique<PixelPicture>(display.width, display.height, std::move(storage), &storage);
    // Shown at the size that the picture source places on the whole display.
    return shownAtSize(std::move(composed), {himetricForPixels(display.width, display.pixelsPerMmX),
                                             himetricForPixels(display.height, display.pixelsPerMmY)});
}

std::unique_ptr<Picture> PhotoLoader::loadPictureFile(const std::string& path) {
    std::unique_ptr<Picture> picture = inner_.loadPictureFile(path);
    if (!picture) return picture;
    std::optional<PhotoTime> taken;
    if (const auto* pixels = dynamic_cast<const PixelPicture*>(picture.get())) taken = pixels->dateTaken();
    const FitDisplay display = currentDisplay();
    if (fit_) picture = fitToDisplay(std::move(picture), display);
    if (options_.backdrop) picture = withBackdrop(std::move(picture), display, composed_);
    if (options_.caption && taken)
        picture = std::make_unique<CaptionedPicture>(
            std::move(picture), captionText(*taken, path, slideState().imageListPath, sessionTimeLocale()));
    return picture;
}

}  // namespace vellora::linux_platform
