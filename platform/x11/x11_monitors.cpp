// The monitors of the X screen: RandR 1.5's monitors, or Xinerama's heads where
// RandR knows only one (a nested or older server), and the events that say they changed.
#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>

#include "platform/x11/x11_internal.h"

namespace vellora::linux_platform {
namespace {

int randrEventBase = -1;
// What the shows were laid out for, to tell a real change from an event that
// only repeats the state (RandR sends one the moment it is asked to).
std::vector<MonitorArea> laidOutFor;
unsigned rootWidth = 0, rootHeight = 0;

void rootSize(Display* d, unsigned& width, unsigned& height) {
    Window root = 0;
    int x = 0, y = 0;
    unsigned border = 0, depth = 0;
    width = height = 0;
    XGetGeometry(d, DefaultRootWindow(d), &root, &x, &y, &width, &height, &border, &depth);
}

bool hasRandr15(Display* d) {
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XRRQueryExtension(d, &eventBase, &errorBase) || !XRRQueryVersion(d, &major, &minor)) return false;
    return major > 1 || (major == 1 && minor >= 5);
}

std::vector<MonitorArea> randrMonitors(Display* d) {
    std::vector<MonitorArea> areas;
    if (!hasRandr15(d)) return areas;
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(d, DefaultRootWindow(d), True, &count);
    if (!monitors) return areas;
    for (int i = 0; i < count; ++i) {
        const XRRMonitorInfo& m = monitors[i];
        const MonitorArea area{m.x, m.y, m.width, m.height, std::max(m.mwidth, 0), std::max(m.mheight, 0)};
        // The primary monitor is the first process's own.
        if (m.primary) areas.insert(areas.begin(), area);
        else areas.push_back(area);
    }
    XRRFreeMonitors(monitors);
    return areas;
}

std::vector<MonitorArea> xineramaHeads(Display* d) {
    std::vector<MonitorArea> areas;
    int eventBase = 0, errorBase = 0, count = 0;
    if (!XineramaQueryExtension(d, &eventBase, &errorBase) || !XineramaIsActive(d)) return areas;
    XineramaScreenInfo* heads = XineramaQueryScreens(d, &count);
    if (!heads) return areas;
    // Xinerama knows no physical sizes: each head is as dense as the whole screen.
    const DeviceMetrics screen = screenMetrics();
    auto millimetres = [](std::int64_t pixels, std::int64_t screenPixels, std::int64_t screenMm) {
        return screenPixels > 0 ? static_cast<std::int32_t>((pixels * screenMm + screenPixels / 2) / screenPixels) : 0;
    };
    for (int i = 0; i < count; ++i) {
        const XineramaScreenInfo& h = heads[i];
        areas.push_back({h.x_org, h.y_org, h.width, h.height, millimetres(h.width, screen.horzRes, screen.horzSize),
                         millimetres(h.height, screen.vertRes, screen.vertSize)});
    }
    XFree(heads);
    return areas;
}

// Mirrored heads are one monitor; empty or absurd ones none.
std::vector<MonitorArea> usable(std::vector<MonitorArea> areas) {
    std::vector<MonitorArea> kept;
    for (const MonitorArea& a : areas) {
        if (a.width <= 0 || a.height <= 0 || a.width > 65535 || a.height > 65535) continue;
        const bool mirror = std::any_of(kept.begin(), kept.end(), [&](const MonitorArea& k) {
            return k.left == a.left && k.top == a.top && k.width == a.width && k.height == a.height;
        });
        if (!mirror && kept.size() < maxMonitors) kept.push_back(a);
    }
    return kept;
}

}  // namespace

std::vector<MonitorArea> findMonitors() {
    Display* d = session().display;
    std::vector<MonitorArea> areas = usable(randrMonitors(d));
    if (areas.size() <= 1) {
        std::vector<MonitorArea> heads = usable(xineramaHeads(d));
        if (heads.size() > 1) areas = std::move(heads);
    }
    return areas;
}

void watchMonitorChanges() {
    Display* d = session().display;
    const Window root = DefaultRootWindow(d);
    // The root's own size changes on every server; RandR also tells of outputs and CRTCs.
    XSelectInput(d, root, StructureNotifyMask);
    laidOutFor = findMonitors();
    rootSize(d, rootWidth, rootHeight);
    int errorBase = 0;
    if (XRRQueryExtension(d, &randrEventBase, &errorBase))
        XRRSelectInput(d, root, RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
    else
        randrEventBase = -1;
}

bool monitorsChanged(const XEvent& event) {
    Display* d = session().display;
    if (event.xany.window != DefaultRootWindow(d)) return false;
    const bool aboutMonitors = event.type == ConfigureNotify ||
                               (randrEventBase >= 0 && (event.type == randrEventBase + RRScreenChangeNotify ||
                                                        event.type == randrEventBase + RRNotify));
    if (!aboutMonitors) return false;
    unsigned width = 0, height = 0;
    rootSize(d, width, height);
    return width != rootWidth || height != rootHeight || findMonitors() != laidOutFor;
}

}  // namespace vellora::linux_platform
