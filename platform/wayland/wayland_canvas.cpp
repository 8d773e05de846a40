// The surface's device context: every primitive paints the copy in memory with
// the shared software drawing, and the changed rectangle goes to the compositor.
#include <algorithm>
#include <cstring>

#include "platform/decoding/picture_loader.h"
#include "platform/wayland/wayland_internal.h"

namespace vellora::linux_platform::wayland {
namespace {

constexpr std::uint32_t black = 0x000000, white = 0xFFFFFF;

}  // namespace

SurfaceCanvas::SurfaceCanvas(ShowSurface& surface, DeviceSize size) : surface_(surface) {
    resize(size);
}

SurfaceCanvas::~SurfaceCanvas() {
    if (frame_) wl_callback_destroy(frame_);
}

DeviceMetrics SurfaceCanvas::metrics() {
    // No physical size: the slideshow then counts 96 pixels per inch, one picture
    // pixel per device pixel, whatever the output claims its millimetres are.
    return {width_, height_, 0, 0};
}

void SurfaceCanvas::fillBlack(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
    if (!drawable()) return;
    takeCaptionAway();
    changed(fillPixels(view(), left, top, right, bottom, black));
}

void SurfaceCanvas::render(const Picture& picture, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy,
                           std::int32_t xSrc, std::int32_t ySrc, std::int32_t cxSrc, std::int32_t cySrc) {
    if (!drawable()) return;
    takeCaptionAway();
    const auto& p = static_cast<const PixelPicture&>(picture);
    const SourcePixels source{p.pixels(), p.width(), p.height(), p.widthHimetric(), p.heightHimetric()};
    changed(renderPicture(view(), source, x, y, cx, cy, xSrc, ySrc, cxSrc, cySrc));
}

void SurfaceCanvas::pie(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, std::int32_t x1,
                        std::int32_t y1, std::int32_t x2, std::int32_t y2) {
    if (!drawable()) return;
    takeCaptionAway();
    changed(piePixels(view(), left, top, right, bottom, x1, y1, x2, y2, brushBlack_ ? black : white));
}

void SurfaceCanvas::resize(DeviceSize size) {
    size.width = std::clamp(size.width, 1, maxBufferSide);
    size.height = std::clamp(size.height, 1, maxBufferSide);
    size.bufferWidth = std::clamp(size.bufferWidth, size.width, maxBufferSide);
    size.bufferHeight = std::clamp(size.bufferHeight, size.height, maxBufferSide);
    const bool sameSize = size.width == width_ && size.height == height_ && size.bufferWidth == size_.bufferWidth &&
                          size.bufferHeight == size_.bufferHeight;
    size_ = size;
    if (!sameSize) {
        caption_.takeAway(view());
        std::vector<std::uint32_t> resized(static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height),
                                           black);
        for (std::int32_t y = 0; y < std::min(height_, size.height); ++y)
            std::memcpy(resized.data() + static_cast<std::size_t>(y) * size.width,
                        copy_.data() + static_cast<std::size_t>(y) * width_,
                        static_cast<std::size_t>(std::min(width_, size.width)) * 4);
        copy_ = std::move(resized);
        width_ = size.width;
        height_ = size.height;
        // Buffers still held by the compositor are destroyed with the pool; it
        // keeps showing their contents until the next commit replaces them.
        pool_ = std::make_unique<BufferPool>(size.bufferWidth, size.bufferHeight, bufferReleased, this);
        pending_ = {};
    }
    applyScale();
    repaint();
}

void SurfaceCanvas::repaint() { changed({0, 0, width_, height_}); }

void SurfaceCanvas::showCaption(const std::string& utf8) {
    if (!drawable()) return;
    const Output* o = surface_.output;
    changed(caption_.show(view(), utf8, o ? captionPixelsPerMm(o->modeWidth, o->modeHeight, o->widthMm, o->heightMm)
                                          : captionPixelsPerMm(0, 0, 0, 0)));
}

bool SurfaceCanvas::drawable() const { return !stopRequested() && !surfaceLost(); }

void SurfaceCanvas::applyScale() {
    if (size_.bufferScale > 0) {
        wl_surface_set_buffer_scale(surface_.surface, size_.bufferScale);
        if (surface_.viewport) wp_viewport_set_destination(surface_.viewport, -1, -1);
    } else if (surface_.viewport) {
        wl_surface_set_buffer_scale(surface_.surface, 1);
        wp_viewport_set_destination(surface_.viewport, size_.viewWidth, size_.viewHeight);
    }
}

void SurfaceCanvas::changed(PixelRect rect) {
    rect = clip(rect, width_, height_);
    if (rect.empty()) return;
    pending_ = unite(pending_, rect);
    pool_->markChanged(rect);
    // A frame callback that has arrived meanwhile frees the way for this change.
    if (frame_) pumpEvents();
    present();
}

void SurfaceCanvas::present() {
    if (frame_ || pending_.empty() || !surface_.configured || !drawable()) return;
    ShmBuffer* buffer = pool_->freeBuffer();
    if (!buffer) return;  // a release brings the change out
    // The unused byte is set as well: a compositor may keep it in its own copy
    // (weston's screenshots read it as alpha).
    const PixelRect s = clip(buffer->stale, width_, height_);
    for (std::int32_t y = s.top; y < s.bottom; ++y) {
        std::uint32_t* to = buffer->pixels + static_cast<std::size_t>(y) * size_.bufferWidth + s.left;
        const std::uint32_t* from = copy_.data() + static_cast<std::size_t>(y) * width_ + s.left;
        for (std::int32_t x = s.left; x < s.right; ++x) *to++ = *from++ | 0xFF000000u;
    }
    buffer->stale = {};
    wl_surface_attach(surface_.surface, buffer->buffer, 0, 0);
    wl_surface_damage_buffer(surface_.surface, pending_.left, pending_.top, pending_.right - pending_.left,
                             pending_.bottom - pending_.top);
    static const wl_callback_listener frameListener = {frameDone};
    frame_ = wl_surface_frame(surface_.surface);
    wl_callback_add_listener(frame_, &frameListener, this);
    wl_surface_commit(surface_.surface);
    buffer->busy = true;
    pending_ = {};
    wl_display_flush(globals().display);
}

void SurfaceCanvas::frameDone(void* data, wl_callback* callback, std::uint32_t) {
    auto* canvas = static_cast<SurfaceCanvas*>(data);
    wl_callback_destroy(callback);
    canvas->frame_ = nullptr;
    canvas->present();
}

void SurfaceCanvas::bufferReleased(void* owner) { static_cast<SurfaceCanvas*>(owner)->present(); }

}  // namespace vellora::linux_platform::wayland
