// The window's device context: every primitive paints the window's contents in
// memory with the shared software drawing and shows the changed part at once.
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/x11/x11_internal.h"
#include "platform/pixel_drawing.h"

namespace vellora::linux_platform {
namespace {

constexpr std::uint32_t black = 0x000000, white = 0xFFFFFF;
constexpr std::uint64_t sharedPutMinimumPixels = 16384;

// The visual takes 0xRRGGBB words as they are.
bool directFormat(const XImage* image) {
    return image->bits_per_pixel == 32 && image->red_mask == 0xFF0000 && image->green_mask == 0xFF00 &&
           image->blue_mask == 0xFF && image->byte_order == LSBFirst &&
           image->bytes_per_line == image->width * 4;
}

class X11Canvas : public WindowCanvas {
public:
    X11Canvas(Window window, std::int32_t width, std::int32_t height, bool physicalFromScreen)
        : window_(window), physicalFromScreen_(physicalFromScreen) {
        Display* d = session().display;
        gc_ = XCreateGC(d, window_, 0, nullptr);
        allocate(width, height);
    }
    ~X11Canvas() override {
        release();
        XFreeGC(session().display, gc_);
    }

    DeviceMetrics metrics() override {
        if (physicalFromScreen_) return showAreaMetrics();
        const DeviceMetrics screen = screenMetrics();
        // A window of its own size, as dense as the screen it is on.
        auto millimetres = [](std::int64_t pixels, std::int64_t screenPixels, std::int64_t screenMm) {
            if (screenPixels <= 0) return std::int32_t{0};
            return static_cast<std::int32_t>((pixels * screenMm + screenPixels / 2) / screenPixels);
        };
        return {width_, height_, millimetres(width_, screen.horzRes, screen.horzSize),
                millimetres(height_, screen.vertRes, screen.vertSize)};
    }
    void fillBlack(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) override {
        if (!drawable()) return;
        show(fillPixels(view(), left, top, right, bottom, black));
    }
    void render(const Picture& picture, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy,
                std::int32_t xSrc, std::int32_t ySrc, std::int32_t cxSrc, std::int32_t cySrc) override {
        if (!drawable()) return;
        const auto& p = static_cast<const PixelPicture&>(picture);
        const SourcePixels source{p.pixels(), p.width(), p.height(), p.widthHimetric(), p.heightHimetric()};
        show(renderPicture(view(), source, x, y, cx, cy, xSrc, ySrc, cxSrc, cySrc));
    }
    void selectBlackBrush() override { brushBlack_ = true; }
    void pie(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, std::int32_t x1,
             std::int32_t y1, std::int32_t x2, std::int32_t y2) override {
        if (!drawable()) return;
        show(piePixels(view(), left, top, right, bottom, x1, y1, x2, y2, brushBlack_ ? black : white));
    }

    void resize(std::int32_t width, std::int32_t height) override {
        if (width == width_ && height == height_) return;
        std::vector<std::uint32_t> old(surface_, surface_ + pixelCount());
        const std::int32_t oldWidth = width_, oldHeight = height_;
        release();
        allocate(width, height);
        for (std::int32_t y = 0; y < std::min(oldHeight, height_); ++y)
            std::memcpy(surface_ + static_cast<std::size_t>(y) * width_, old.data() + static_cast<std::size_t>(y) * oldWidth,
                        static_cast<std::size_t>(std::min(oldWidth, width_)) * 4);
    }
    void repaint() override {
        if (!drawable()) return;
        show({0, 0, width_, height_});
    }

private:
    bool drawable() const { return !stopRequested() && !session().windowGone && surface_; }
    std::size_t pixelCount() const { return static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_); }
    SurfaceView view() { return {surface_, width_, height_}; }

    void allocate(std::int32_t width, std::int32_t height) {
        Display* d = session().display;
        width_ = std::max(width, 1);
        height_ = std::max(height, 1);
        Visual* visual = DefaultVisual(d, session().screen);
        const int depth = DefaultDepth(d, session().screen);
        if (XShmQueryExtension(d) && attachShared(visual, depth)) return;
        storage_.assign(pixelCount(), black);
        image_ = XCreateImage(d, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                              static_cast<unsigned>(width_), static_cast<unsigned>(height_), 32, 0);
        if (!image_) return;
        if (directFormat(image_)) {
            image_->data = reinterpret_cast<char*>(storage_.data());
        } else {
            // Another pixel layout: the image gets its own memory and each part is converted when shown.
            image_->data = static_cast<char*>(std::calloc(static_cast<std::size_t>(image_->bytes_per_line), static_cast<std::size_t>(height_)));
            converted_ = true;
        }
        surface_ = storage_.data();
    }

    bool attachShared(Visual* visual, int depth) {
        Display* d = session().display;
        shm_ = {};
        XImage* image = XShmCreateImage(d, visual, static_cast<unsigned>(depth), ZPixmap, nullptr, &shm_,
                                        static_cast<unsigned>(width_), static_cast<unsigned>(height_));
        if (!image) return false;
        if (!directFormat(image)) {
            XDestroyImage(image);
            return false;
        }
        shm_.shmid = shmget(IPC_PRIVATE, static_cast<std::size_t>(image->bytes_per_line) * height_, IPC_CREAT | 0600);
        if (shm_.shmid < 0) {
            XDestroyImage(image);
            return false;
        }
        shm_.shmaddr = image->data = static_cast<char*>(shmat(shm_.shmid, nullptr, 0));
        shm_.readOnly = False;
        // A server on another machine cannot attach: that shows only as an error.
        bool attached = false;
        const bool clean =
            withoutXErrors([&] { attached = shm_.shmaddr != reinterpret_cast<char*>(-1) && XShmAttach(d, &shm_); });
        // Marked for removal now, so the segment goes with the process however it ends.
        shmctl(shm_.shmid, IPC_RMID, nullptr);
        if (!attached || !clean) {
            if (shm_.shmaddr != reinterpret_cast<char*>(-1)) shmdt(shm_.shmaddr);
            image->data = nullptr;
            XDestroyImage(image);
            shm_ = {};
            return false;
        }
        image_ = image;
        shared_ = true;
        surface_ = reinterpret_cast<std::uint32_t*>(image->data);
        std::fill(surface_, surface_ + pixelCount(), black);
        return true;
    }

    void release() {
        Display* d = session().display;
        if (image_) {
            if (shared_) {
                XShmDetach(d, &shm_);
                XSync(d, False);
                shmdt(shm_.shmaddr);
                image_->data = nullptr;
            } else if (!converted_) {
                image_->data = nullptr;  // the storage vector owns it
            }
            XDestroyImage(image_);
        }
        image_ = nullptr;
        surface_ = nullptr;
        shared_ = converted_ = false;
        storage_.clear();
        storage_.shrink_to_fit();
    }

    void show(PixelRect r) {
        if (r.empty() || !image_) return;
        Display* d = session().display;
        const auto w = static_cast<unsigned>(r.right - r.left), h = static_cast<unsigned>(r.bottom - r.top);
        // Small parts travel inside the request, which needs no wait for the server;
        // large ones are read by the server from the shared segment.
        if (shared_ && static_cast<std::uint64_t>(w) * h >= sharedPutMinimumPixels) {
            XShmPutImage(d, window_, gc_, image_, r.left, r.top, r.left, r.top, w, h, False);
            // The server reads the segment later; it must be done before the next change.
            XSync(d, False);
            return;
        }
        if (converted_)
            for (std::int32_t y = r.top; y < r.bottom; ++y)
                for (std::int32_t x = r.left; x < r.right; ++x)
                    XPutPixel(image_, x, y, surface_[static_cast<std::size_t>(y) * width_ + x]);
        XPutImage(d, window_, gc_, image_, r.left, r.top, r.left, r.top, w, h);
        XFlush(d);
    }

    Window window_;
    GC gc_;
    bool physicalFromScreen_;
    std::int32_t width_ = 0, height_ = 0;
    std::uint32_t* surface_ = nullptr;
    std::vector<std::uint32_t> storage_;
    XImage* image_ = nullptr;
    XShmSegmentInfo shm_{};
    bool shared_ = false, converted_ = false;
    bool brushBlack_ = false;
};

}  // namespace

DeviceMetrics screenMetrics() {
    Display* d = session().display;
    const int s = session().screen;
    return {DisplayWidth(d, s), DisplayHeight(d, s), DisplayWidthMM(d, s), DisplayHeightMM(d, s)};
}

DeviceMetrics showAreaMetrics() {
    if (const std::optional<MonitorArea>& m = session().monitor) return {m->width, m->height, m->widthMm, m->heightMm};
    return screenMetrics();
}

std::unique_ptr<WindowCanvas> makeWindowCanvas(Window window, std::int32_t width, std::int32_t height,
                                               bool physicalFromScreen) {
    return std::make_unique<X11Canvas>(window, width, height, physicalFromScreen);
}

}  // namespace vellora::linux_platform
