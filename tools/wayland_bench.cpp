// vellora-wayland-bench: figures of the Wayland backend on the compositor
// WAYLAND_DISPLAY names, with the show's own overlay on its first output.
//   render PID   one whole-output render (drawing, the copy into a shared buffer and
//                the commit) against one memcpy of a frame; and the compositor's (PID)
//                processor time per whole frame against the same memcpy
//   pace         every row's reveal and clear against the pauses it asks for
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "effects/catalogue.h"
#include "platform/decoding/picture_loader.h"
#include "platform/wayland/wayland_internal.h"
#include "slideshow/controller.h"
#include "slideshow/picture_source.h"
#include "slideshow/random.h"
#include "slideshow/slide_state.h"
#include "tools/bench_clock.h"

using namespace vellora;
using namespace vellora::linux_platform;
using namespace vellora::linux_platform::wayland;
using namespace vellora::bench;

namespace {

// Until the compositor has shown everything drawn so far.
void settle(SurfaceCanvas& canvas) {
    while (canvas.busy() && !globals().connectionLost) {
        pumpEvents();
        if (canvas.busy()) waitForCompositor(100);
    }
}

// User and system time of a process, in seconds.
double processorSeconds(long pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::vector<std::string> fields;
    std::size_t at = close + 2;
    while (at < text.size()) {
        const std::size_t space = text.find(' ', at);
        fields.push_back(text.substr(at, space - at));
        if (space == std::string::npos) break;
        at = space + 1;
    }
    if (fields.size() < 13) return 0;
    return static_cast<double>(std::atoll(fields[11].c_str()) + std::atoll(fields[12].c_str())) /
           static_cast<double>(sysconf(_SC_CLK_TCK));
}

int benchRender(SurfaceCanvas& canvas, long compositorPid) {
    const std::int32_t w = canvas.width(), h = canvas.height();
    PixelPicture pictures[2] = {{w, h, pattern(w, h)}, {w, h, pattern(h, w)}};
    const std::int32_t pw = pictures[0].widthHimetric(), ph = pictures[0].heightHimetric();
    const std::size_t bytes = static_cast<std::size_t>(w) * h * 4;
    std::vector<char> from(bytes, 1), to(bytes, 0);
    constexpr int rounds = 30;
    double copy = 1e9, render = 1e9;
    for (int i = 0; i < 3; ++i) {
        copy = std::min(copy, [&] {
            double fastest = 1e9;
            for (int r = 0; r < rounds; ++r) {
                const auto start = Steady::now();
                std::memcpy(to.data(), from.data(), bytes);
                fastest = std::min(fastest, secondsSince(start));
                from[static_cast<std::size_t>(r)] = to[bytes - 1];
            }
            return fastest;
        }());
        for (int r = 0; r < rounds; ++r) {
            settle(canvas);
            const auto start = Steady::now();
            pictures[r % 2].renderTo(canvas, 0, 0, w, h, 0, ph, pw, -ph);
            render = std::min(render, secondsSince(start));
        }
    }
    std::printf("render %dx%d: %.2f ms, memcpy of a frame: %.2f ms, ratio %.2f\n", w, h, render * 1e3, copy * 1e3,
                render / copy);
    if (compositorPid > 0) {
        constexpr int frames = 120;
        settle(canvas);
        const double before = processorSeconds(compositorPid);
        for (int f = 0; f < frames; ++f) {
            pictures[f % 2].renderTo(canvas, 0, 0, w, h, 0, ph, pw, -ph);
            settle(canvas);
        }
        const double perFrame = (processorSeconds(compositorPid) - before) / frames;
        std::printf("compositor per whole frame: %.2f ms, ratio to the memcpy %.2f\n", perFrame * 1e3, perFrame / copy);
    }
    return 0;
}

int benchPace(SurfaceCanvas& canvas) {
    CountingClock counting(linux_platform::clock());
    installPlatform({&windowServices(), &files(), &pictureLoader(), &counting});
    SlideState& s = slideState();
    s.hdc = &canvas;
    measureDisplay(canvas);
    // A picture of 60 % of the output, as a typical photograph shows.
    const std::int32_t w = canvas.width() * 6 / 10, h = canvas.height() * 6 / 10;
    PixelPicture picture(w, h, pattern(w, h));
    seedRandom(1);
    printPaceTable(counting, picture, [&] { settle(canvas); });
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const bool render = argc == 3 && !std::strcmp(argv[1], "render");
    const bool pace = argc == 2 && !std::strcmp(argv[1], "pace");
    if ((!render && !pace) || !connectDisplay() || !createFullScreenSurface() || !awaitFirstConfigure()) {
        std::fputs("usage: vellora-wayland-bench render COMPOSITOR_PID | pace   (needs a compositor with outputs)\n",
                   stderr);
        return 2;
    }
    installLinuxPlatform(windowServices(), shell());
    SurfaceCanvas& canvas = *showSurface()->canvas;
    const int code = render ? benchRender(canvas, std::atol(argv[2])) : benchPace(canvas);
    disconnectDisplay();
    return code;
}
