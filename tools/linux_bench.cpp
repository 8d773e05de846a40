// vellora-linux-bench: figures of the native platform on the current X display.
//   render   one whole-screen render at natural size against one memcpy of a frame,
//            and against the bare X calls that any shared-memory renderer makes
//   pace     every row's reveal and clear against the pauses it asks for
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/shm.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "effects/catalogue.h"
#include "platform/decoding/picture_loader.h"
#include "platform/x11/x11_internal.h"
#include "slideshow/controller.h"
#include "slideshow/picture_source.h"
#include "slideshow/random.h"
#include "slideshow/slide_state.h"
#include "tools/bench_clock.h"

using namespace vellora;
using namespace vellora::linux_platform;
using namespace vellora::bench;

namespace {

Window fullScreenWindow() {
    Display* d = session().display;
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = BlackPixel(d, session().screen);
    const DeviceMetrics screen = screenMetrics();
    const Window window = XCreateWindow(d, RootWindow(d, session().screen), 0, 0, static_cast<unsigned>(screen.horzRes),
                                        static_cast<unsigned>(screen.vertRes), 0, CopyFromParent, InputOutput,
                                        CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
    XMapRaised(d, window);
    XSync(d, False);
    return window;
}

template <typename Fn>
double best(int rounds, Fn&& fn) {
    double fastest = 1e9;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Steady::now();
        fn();
        fastest = std::min(fastest, secondsSince(start));
    }
    return fastest;
}

// The floor for any renderer that paints a client-side frame: copy the picture into
// a shared image, have the server copy it to the window, and wait for it. Null when
// the server cannot share memory with us.
class BarePut {
public:
    BarePut(Window window, std::int32_t width, std::int32_t height) : window_(window), width_(width), height_(height) {
        Display* d = session().display;
        if (!XShmQueryExtension(d)) return;
        image_ = XShmCreateImage(d, DefaultVisual(d, session().screen), static_cast<unsigned>(DefaultDepth(d, session().screen)),
                                 ZPixmap, nullptr, &shm_, static_cast<unsigned>(width), static_cast<unsigned>(height));
        if (!image_) return;
        shm_.shmid = shmget(IPC_PRIVATE, static_cast<std::size_t>(image_->bytes_per_line) * height, IPC_CREAT | 0600);
        shm_.shmaddr = image_->data = static_cast<char*>(shmat(shm_.shmid, nullptr, 0));
        attached_ = shm_.shmaddr != reinterpret_cast<char*>(-1) && XShmAttach(d, &shm_);
        XSync(d, False);
        shmctl(shm_.shmid, IPC_RMID, nullptr);
        gc_ = XCreateGC(d, window, 0, nullptr);
    }
    ~BarePut() {
        Display* d = session().display;
        if (attached_) XShmDetach(d, &shm_);
        if (gc_) XFreeGC(d, gc_);
        if (image_) {
            if (shm_.shmaddr != reinterpret_cast<char*>(-1)) shmdt(shm_.shmaddr);
            image_->data = nullptr;
            XDestroyImage(image_);
        }
    }
    bool usable() const { return attached_; }
    void put(const std::vector<std::uint32_t>& frame) {
        std::memcpy(image_->data, frame.data(), frame.size() * sizeof(std::uint32_t));
        XShmPutImage(session().display, window_, gc_, image_, 0, 0, 0, 0, static_cast<unsigned>(width_),
                     static_cast<unsigned>(height_), False);
        XSync(session().display, False);
    }

private:
    Window window_;
    std::int32_t width_, height_;
    XShmSegmentInfo shm_{};
    XImage* image_ = nullptr;
    GC gc_ = nullptr;
    bool attached_ = false;
};

int benchRender() {
    const DeviceMetrics screen = screenMetrics();
    const Window window = fullScreenWindow();
    auto canvas = makeWindowCanvas(window, screen.horzRes, screen.vertRes, true);
    PixelPicture picture(screen.horzRes, screen.vertRes, pattern(screen.horzRes, screen.vertRes));
    const std::int32_t pw = picture.widthHimetric(), ph = picture.heightHimetric();
    const std::size_t bytes = static_cast<std::size_t>(screen.horzRes) * screen.vertRes * 4;
    std::vector<char> from(bytes, 1), to(bytes, 0);
    constexpr int rounds = 30;
    // Interleaved, so that other load on the machine hits both alike.
    BarePut bare(window, screen.horzRes, screen.vertRes);
    const std::vector<std::uint32_t> frame = pattern(screen.horzRes, screen.vertRes);
    double copy = 1e9, render = 1e9, put = 1e9;
    for (int i = 0; i < 3; ++i) {
        if (bare.usable()) put = std::min(put, best(rounds, [&] { bare.put(frame); }));
        copy = std::min(copy, best(rounds, [&] {
                            std::memcpy(to.data(), from.data(), bytes);
                            from[static_cast<std::size_t>(i)] = to[bytes - 1];
                        }));
        render = std::min(render, best(rounds, [&] {
                              canvas->render(picture, 0, 0, screen.horzRes, screen.vertRes, 0, ph, pw, -ph);
                          }));
    }
    std::printf("render %dx%d: %.2f ms, memcpy of a frame: %.2f ms, ratio %.2f\n", screen.horzRes, screen.vertRes,
                render * 1e3, copy * 1e3, render / copy);
    if (bare.usable())
        std::printf("bare shared-memory put of a frame: %.2f ms, render over it %.2f\n", put * 1e3, render / put);
    return 0;
}

int benchPace() {
    const DeviceMetrics screen = screenMetrics();
    const Window window = fullScreenWindow();
    auto canvas = makeWindowCanvas(window, screen.horzRes, screen.vertRes, true);
    CountingClock counting(linux_platform::clock());
    installPlatform({&windowServices(), &files(), &pictureLoader(), &counting});
    SlideState& s = slideState();
    s.hdc = canvas.get();
    measureDisplay(*canvas);
    // A picture of 60 % of the screen, as a typical photograph shows.
    const std::int32_t w = screen.horzRes * 6 / 10, h = screen.vertRes * 6 / 10;
    PixelPicture picture(w, h, pattern(w, h));
    seedRandom(1);
    printPaceTable(counting, picture, [] {});
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || !openSession()) {
        std::fputs("usage: vellora-linux-bench render|pace   (needs an X display)\n", stderr);
        return 2;
    }
    installLinuxPlatform(windowServices(), shell());
    if (!std::strcmp(argv[1], "render")) return benchRender();
    if (!std::strcmp(argv[1], "pace")) return benchPace();
    return 2;
}
