// The window's device context: every primitive paints the window's contents in
// memory with the shared software drawing and shows the changed part at once, in
// the pixel format of the window's own visual and depth.
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/decoding/picture_loader.h"
#include "platform/linux/photo_caption.h"
#include "platform/pixel_drawing.h"
#include "platform/x11/visual_pixels.h"
#include "platform/x11/x11_internal.h"

namespace vellora::linux_platform {
namespace {

constexpr std::uint32_t black = 0x000000, white = 0xFFFFFF;
constexpr std::uint64_t sharedPutMinimumPixels = 16384;

// The visual takes 0xRRGGBB words as they are: no conversion, and no alpha to set.
bool directFormat(const XImage* image, const x11::VisualFormat& format) {
    return image->bits_per_pixel == 32 && image->red_mask == 0xFF0000 && image->green_mask == 0xFF00 &&
           image->blue_mask == 0xFF && image->byte_order == LSBFirst &&
           image->bytes_per_line == image->width * 4 && format.palette.empty() && format.unusedBits == 0;
}

// The window's visual, depth and colormap; the screen's defaults when it cannot be asked.
struct WindowVisual {
    Visual* visual;
    int depth;
    Colormap colormap;
};

WindowVisual visualOf(Window window) {
    Display* d = session().display;
    XWindowAttributes attributes{};
    Status status = 0;
    const bool clean = withoutXErrors([&] { status = XGetWindowAttributes(d, window, &attributes); });
    if (status && clean && attributes.visual) return {attributes.visual, attributes.depth, attributes.colormap};
    const int s = session().screen;
    return {DefaultVisual(d, s), DefaultDepth(d, s), DefaultColormap(d, s)};
}

// The palette table of a palette visual: the colour cube is asked for, and every
// colour then takes the nearest of those given. Where the colormap is full, the
// colours it already holds are taken as they are.
std::vector<std::uint32_t> paletteTable(const WindowVisual& target) {
    Display* d = session().display;
    std::vector<x11::PaletteColour> available;
    auto rgbOf = [](const XColor& c) { return static_cast<std::uint32_t>(c.red >> 8 << 16 | c.green >> 8 << 8 | c.blue >> 8); };
    for (int r = 0; r < x11::cubeLevels; ++r)
        for (int g = 0; g < x11::cubeLevels; ++g)
            for (int b = 0; b < x11::cubeLevels; ++b) {
                XColor colour{};
                colour.red = static_cast<unsigned short>(x11::cubeChannel(r) * 257);
                colour.green = static_cast<unsigned short>(x11::cubeChannel(g) * 257);
                colour.blue = static_cast<unsigned short>(x11::cubeChannel(b) * 257);
                Status given = 0;
                withoutXErrors([&] { given = XAllocColor(d, target.colormap, &colour); });
                if (given) available.push_back({static_cast<std::uint32_t>(colour.pixel), rgbOf(colour)});
            }
    if (available.size() == x11::cubeLevels * x11::cubeLevels * x11::cubeLevels) return x11::nearestTable(available);
    const int entries = std::clamp(target.visual->map_entries, 1, 4096);
    std::vector<XColor> cells(static_cast<std::size_t>(entries));
    for (std::size_t i = 0; i < cells.size(); ++i) cells[i].pixel = i;
    if (withoutXErrors([&] { XQueryColors(d, target.colormap, cells.data(), entries); }))
        for (const XColor& c : cells) available.push_back({static_cast<std::uint32_t>(c.pixel), rgbOf(c)});
    return x11::nearestTable(available);
}

x11::VisualFormat formatOf(const WindowVisual& target) {
    const Visual* v = target.visual;
    if (v->c_class == TrueColor || v->c_class == DirectColor)
        return x11::colourFormat(static_cast<std::uint32_t>(v->red_mask), static_cast<std::uint32_t>(v->green_mask),
                                 static_cast<std::uint32_t>(v->blue_mask), target.depth);
    x11::VisualFormat format;
    format.palette = paletteTable(target);
    return format;
}

class X11Canvas : public WindowCanvas, public CaptionCanvas {
public:
    X11Canvas(Window window, std::int32_t width, std::int32_t height, bool physicalFromScreen)
        : window_(window), physicalFromScreen_(physicalFromScreen), target_(visualOf(window)), format_(formatOf(target_)) {
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
        takeCaptionAway();
        takeMessageAwayUnder(left, top, right, bottom);
        show(fillPixels(view(), left, top, right, bottom, black));
    }
    void render(const Picture& picture, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy,
                std::int32_t xSrc, std::int32_t ySrc, std::int32_t cxSrc, std::int32_t cySrc) override {
        if (!drawable()) return;
        takeCaptionAway();
        takeMessageAwayUnder(x, y, std::int64_t{x} + cx, std::int64_t{y} + cy);
        const auto& p = static_cast<const PixelPicture&>(picture);
        const SourcePixels source{p.pixels(), p.width(), p.height(), p.widthHimetric(), p.heightHimetric()};
        show(renderPicture(view(), source, x, y, cx, cy, xSrc, ySrc, cxSrc, cySrc));
    }
    void selectBlackBrush() override { brushBlack_ = true; }
    void pie(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, std::int32_t x1,
             std::int32_t y1, std::int32_t x2, std::int32_t y2) override {
        if (!drawable()) return;
        takeCaptionAway();
        takeMessageAwayUnder(left, top, right, bottom);
        show(piePixels(view(), left, top, right, bottom, x1, y1, x2, y2, brushBlack_ ? black : white));
    }

    void resize(std::int32_t width, std::int32_t height) override {
        if (width == width_ && height == height_) return;
        // The image is released below: the caption's pixels go back without being shown.
        if (surface_) caption_.takeAway(view());
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
    void showMessage(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height,
                     const std::uint32_t* pixels) override {
        takeMessageAwayUnder(0, 0, width_, height_);
        if (!drawable() || width <= 0 || height <= 0) return;
        takeCaptionAway();
        const PixelRect r{std::max(left, 0), std::max(top, 0), std::min(left + width, width_), std::min(top + height, height_)};
        if (r.empty()) return;
        message_ = r;
        for (std::int32_t y = r.top; y < r.bottom; ++y)
            std::memcpy(surface_ + static_cast<std::size_t>(y) * width_ + r.left,
                        pixels + static_cast<std::size_t>(y - top) * width + (r.left - left),
                        static_cast<std::size_t>(r.right - r.left) * 4);
        show(r);
    }

    void showCaption(const std::string& utf8) override {
        if (!drawable()) return;
        const DeviceMetrics m = metrics();
        show(caption_.show(view(), utf8, captionPixelsPerMm(m.horzRes, m.vertRes, m.horzSize, m.vertSize)));
    }

private:
    void takeCaptionAway() {
        show(caption_.takeAway(view()));
    }

    // A message goes as a whole once a drawing reaches it (one that stays clear of it
    // leaves it), so a show that draws again never keeps part of it. It stands where
    // nothing was drawn: black, which the show's drawings need beneath them.
    void takeMessageAwayUnder(std::int64_t left, std::int64_t top, std::int64_t right, std::int64_t bottom) {
        if (message_.empty()) return;
        if (std::max(left, right) <= message_.left || std::min(left, right) >= message_.right ||
            std::max(top, bottom) <= message_.top || std::min(top, bottom) >= message_.bottom || left == right ||
            top == bottom)
            return;
        show(fillPixels(view(), message_.left, message_.top, message_.right, message_.bottom, black));
        message_ = {};
    }

    bool drawable() const { return !stopRequested() && !session().windowGone && surface_; }
    std::size_t pixelCount() const { return static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_); }
    SurfaceView view() { return {surface_, width_, height_}; }

    // The image is made for the window's own visual and depth, which need not be the
    // screen's (a 32-bit window with alpha, say); a layout other than 0xRRGGBB words
    // keeps the contents in `storage_` and converts each part as it is shown.
    void allocate(std::int32_t width, std::int32_t height) {
        Display* d = session().display;
        width_ = std::max(width, 1);
        height_ = std::max(height, 1);
        if (XShmQueryExtension(d) && attachShared()) return;
        storage_.assign(pixelCount(), black);
        image_ = XCreateImage(d, target_.visual, static_cast<unsigned>(target_.depth), ZPixmap, 0, nullptr,
                              static_cast<unsigned>(width_), static_cast<unsigned>(height_), 32, 0);
        if (!image_) return;
        if (directFormat(image_, format_)) {
            image_->data = reinterpret_cast<char*>(storage_.data());
        } else {
            image_->data = static_cast<char*>(std::calloc(static_cast<std::size_t>(image_->bytes_per_line), static_cast<std::size_t>(height_)));
            converted_ = true;
            if (!image_->data) {
                XDestroyImage(image_);
                image_ = nullptr;
                return;
            }
        }
        surface_ = storage_.data();
    }

    bool attachShared() {
        Display* d = session().display;
        shm_ = {};
        XImage* image = XShmCreateImage(d, target_.visual, static_cast<unsigned>(target_.depth), ZPixmap, nullptr,
                                        &shm_, static_cast<unsigned>(width_), static_cast<unsigned>(height_));
        if (!image) return false;
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
        if (directFormat(image, format_)) {
            surface_ = reinterpret_cast<std::uint32_t*>(image->data);
            std::fill(surface_, surface_ + pixelCount(), black);
        } else {
            converted_ = true;
            storage_.assign(pixelCount(), black);
            surface_ = storage_.data();
        }
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
            }  // else XDestroyImage frees the converted copy
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
        if (converted_) convert(r);
        // Small parts travel inside the request, which needs no wait for the server;
        // large ones are read by the server from the shared segment.
        if (shared_ && static_cast<std::uint64_t>(w) * h >= sharedPutMinimumPixels) {
            XShmPutImage(d, window_, gc_, image_, r.left, r.top, r.left, r.top, w, h, False);
            // The server reads the segment later; it must be done before the next change.
            XSync(d, False);
            return;
        }
        XPutImage(d, window_, gc_, image_, r.left, r.top, r.left, r.top, w, h);
        XFlush(d);
    }

    void convert(PixelRect r) {
        const int bits = image_->bits_per_pixel;
        const bool msbFirst = image_->byte_order == MSBFirst;
        for (std::int32_t y = r.top; y < r.bottom; ++y) {
            const std::uint32_t* from = surface_ + static_cast<std::size_t>(y) * width_ + r.left;
            auto* to = reinterpret_cast<unsigned char*>(image_->data) + static_cast<std::size_t>(y) * image_->bytes_per_line +
                       static_cast<std::size_t>(r.left) * static_cast<std::size_t>(bits / 8);
            if (bits % 8 == 0 && x11::packRow(format_, from, static_cast<std::size_t>(r.right - r.left), to, bits, msbFirst))
                continue;
            for (std::int32_t x = r.left; x < r.right; ++x) XPutPixel(image_, x, y, x11::pixelValue(format_, from[x - r.left]));
        }
    }

    Window window_;
    GC gc_;
    bool physicalFromScreen_;
    WindowVisual target_;
    x11::VisualFormat format_;
    std::int32_t width_ = 0, height_ = 0;
    std::uint32_t* surface_ = nullptr;
    std::vector<std::uint32_t> storage_;
    XImage* image_ = nullptr;
    XShmSegmentInfo shm_{};
    bool shared_ = false, converted_ = false;
    bool brushBlack_ = false;
    PixelRect message_{};
    CaptionOverlay caption_;
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
