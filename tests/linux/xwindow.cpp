// vellora-xwindow: X helpers for the Linux tests.
//   info                 prints the screen's width and height in pixels and millimetres
//   create X Y W H [32]  makes a plain black window, prints its id, and keeps it until
//                        standard input closes; with 32, a window of a 32-bit visual
//                        with alpha, as compositing window managers make
//   shot WINDOW          writes the window's pixels (0 for the whole screen) as raw
//                        0xRRGGBB words, little-endian, row-major from the top, whatever
//                        the window's visual
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

int usage() {
    std::fputs("usage: vellora-xwindow info | create X Y W H | shot WINDOW\n", stderr);
    return 2;
}

// A channel of a colour visual's pixel value, as 8 bits.
std::uint32_t channel(unsigned long value, unsigned long mask) {
    if (mask == 0) return 0;
    int shift = 0;
    while (!(mask >> shift & 1)) ++shift;
    const unsigned long top = mask >> shift;
    return static_cast<std::uint32_t>(((value & mask) >> shift) * 255 / top);
}

int shot(Display* d, Window window) {
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(d, window, &attributes)) return 1;
    XImage* image = XGetImage(d, window, 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (!image) return 1;
    const Visual* visual = attributes.visual;
    const bool palette = visual->c_class != TrueColor && visual->c_class != DirectColor;
    std::vector<XColor> cells;
    if (palette) {
        cells.resize(static_cast<std::size_t>(visual->map_entries));
        for (std::size_t i = 0; i < cells.size(); ++i) cells[i].pixel = i;
        XQueryColors(d, attributes.colormap, cells.data(), static_cast<int>(cells.size()));
    }
    std::vector<std::uint32_t> row(static_cast<std::size_t>(attributes.width));
    for (int y = 0; y < attributes.height; ++y) {
        for (int x = 0; x < attributes.width; ++x) {
            const unsigned long value = XGetPixel(image, x, y);
            std::uint32_t rgb = 0;
            if (palette && value < cells.size())
                rgb = static_cast<std::uint32_t>(cells[value].red >> 8 << 16 | cells[value].green >> 8 << 8 | cells[value].blue >> 8);
            else if (!palette)
                rgb = channel(value, visual->red_mask) << 16 | channel(value, visual->green_mask) << 8 |
                      channel(value, visual->blue_mask);
            row[static_cast<std::size_t>(x)] = rgb;
        }
        std::fwrite(row.data(), sizeof row[0], row.size(), stdout);
    }
    XDestroyImage(image);
    return 0;
}

// The server drops a few new connections while others close; the tests take a
// shot every few milliseconds, so they would meet that often.
Display* openDisplay() {
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (Display* d = XOpenDisplay(nullptr)) return d;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    Display* d = openDisplay();
    if (!d) return 1;
    const int s = DefaultScreen(d);
    if (!std::strcmp(argv[1], "info")) {
        std::printf("%d %d %d %d\n", DisplayWidth(d, s), DisplayHeight(d, s), DisplayWidthMM(d, s), DisplayHeightMM(d, s));
        return 0;
    }
    if (!std::strcmp(argv[1], "shot") && argc == 3) {
        const Window window = std::strtoul(argv[2], nullptr, 0);
        return shot(d, window ? window : RootWindow(d, s));
    }
    if (!std::strcmp(argv[1], "create") && (argc == 6 || (argc == 7 && !std::strcmp(argv[6], "32")))) {
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;  // placed exactly where asked, with no manager to move it
        attributes.background_pixel = BlackPixel(d, s);
        unsigned long mask = CWOverrideRedirect | CWBackPixel;
        int depth = CopyFromParent;
        Visual* visual = CopyFromParent;
        XVisualInfo argb{};
        if (argc == 7) {
            if (!XMatchVisualInfo(d, s, 32, TrueColor, &argb)) return 1;
            depth = 32;
            visual = argb.visual;
            // A visual other than the parent's needs its own colormap and border.
            attributes.colormap = XCreateColormap(d, RootWindow(d, s), visual, AllocNone);
            attributes.background_pixel = 0xFF000000;
            attributes.border_pixel = 0;
            mask |= CWColormap | CWBorderPixel;
        }
        const Window window = XCreateWindow(d, RootWindow(d, s), std::atoi(argv[2]), std::atoi(argv[3]),
                                            static_cast<unsigned>(std::atoi(argv[4])),
                                            static_cast<unsigned>(std::atoi(argv[5])), 0, depth, InputOutput,
                                            visual, mask, &attributes);
        XMapRaised(d, window);
        XSync(d, False);
        std::printf("%lu\n", window);
        std::fflush(stdout);
        while (std::getchar() != EOF) {
        }
        XDestroyWindow(d, window);
        XCloseDisplay(d);
        return 0;
    }
    return usage();
}
