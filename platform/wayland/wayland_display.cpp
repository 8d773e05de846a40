// The compositor connection: the registry's globals, the outputs and what they
// report, and reading the connection without blocking the show.
#include <errno.h>
#include <poll.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/wayland/wayland_internal.h"

namespace vellora::linux_platform::wayland {
namespace {

Globals theGlobals;

// The millimetres are not to be trusted (0 on some compositors, absurd on others):
// pictures keep 96 pixels per inch, and the millimetres only go along to the
// other outputs' shows.
void outputGeometry(void* data, wl_output*, std::int32_t x, std::int32_t y, std::int32_t widthMm,
                    std::int32_t heightMm, std::int32_t, const char*, const char*, std::int32_t transform) {
    auto* o = static_cast<Output*>(data);
    o->x = x;
    o->y = y;
    o->widthMm = std::max(widthMm, 0);
    o->heightMm = std::max(heightMm, 0);
    o->transform = transform;
}

void outputMode(void* data, wl_output*, std::uint32_t flags, std::int32_t width, std::int32_t height, std::int32_t) {
    if (!(flags & WL_OUTPUT_MODE_CURRENT)) return;
    auto* o = static_cast<Output*>(data);
    o->modeWidth = std::clamp(width, 0, maxBufferSide);
    o->modeHeight = std::clamp(height, 0, maxBufferSide);
}

// A monitor plugged in or out, or one that takes another mode, scale or turn,
// ends a full-screen show, as a change of the screen's size does on X11: every
// output is either covered by a show of its own at its size or, after the change,
// by none, and never by a picture placed for the size it had.
void outputsChanged() {
    if (eventLoop().fullScreen) requestStop();
}

// The output's details come one by one: only the complete report counts.
void outputDone(void* data, wl_output*) {
    auto* o = static_cast<Output*>(data);
    const std::array<std::int32_t, 4> now = {o->modeWidth, o->modeHeight, o->scale, o->transform};
    if (o->reported && *o->reported != now) outputsChanged();
    o->reported = now;
}

void outputScale(void* data, wl_output*, std::int32_t factor) {
    static_cast<Output*>(data)->scale = std::clamp(factor, 1, 16);
}

void outputName(void*, wl_output*, const char*) {}
void outputDescription(void*, wl_output*, const char*) {}

const wl_output_listener outputListener = {outputGeometry, outputMode, outputDone, outputScale,
                                           outputName, outputDescription};

void wmBasePing(void*, xdg_wm_base* base, std::uint32_t serial) { xdg_wm_base_pong(base, serial); }
const xdg_wm_base_listener wmBaseListener = {wmBasePing};

template <typename T>
T* bind(wl_registry* registry, std::uint32_t name, const wl_interface* interface, std::uint32_t offered,
        std::uint32_t wanted) {
    return static_cast<T*>(wl_registry_bind(registry, name, interface, std::min(offered, wanted)));
}

void announced(void*, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t version) {
    Globals& g = theGlobals;
    const auto is = [interface](const wl_interface& i) { return std::strcmp(interface, i.name) == 0; };
    if (is(wl_compositor_interface) && version >= 4) {
        g.compositor = bind<wl_compositor>(registry, name, &wl_compositor_interface, version, 4);
    } else if (is(wl_shm_interface)) {
        g.shm = bind<wl_shm>(registry, name, &wl_shm_interface, version, 1);
    } else if (is(wl_seat_interface) && !g.seat) {
        g.seat = bind<wl_seat>(registry, name, &wl_seat_interface, version, 5);
        bindSeat(g.seat);
    } else if (is(xdg_wm_base_interface)) {
        g.wmBase = bind<xdg_wm_base>(registry, name, &xdg_wm_base_interface, version, 2);
        xdg_wm_base_add_listener(g.wmBase, &wmBaseListener, nullptr);
    } else if (is(zwlr_layer_shell_v1_interface)) {
        g.layerShellVersion = std::min(version, 4u);
        g.layerShell = bind<zwlr_layer_shell_v1>(registry, name, &zwlr_layer_shell_v1_interface, version, 4);
    } else if (is(wp_viewporter_interface)) {
        g.viewporter = bind<wp_viewporter>(registry, name, &wp_viewporter_interface, version, 1);
    } else if (is(wp_fractional_scale_manager_v1_interface)) {
        g.fractionalScale = bind<wp_fractional_scale_manager_v1>(registry, name,
                                                                 &wp_fractional_scale_manager_v1_interface, version, 1);
    } else if (is(wl_output_interface) && version >= 2) {
        auto output = std::make_unique<Output>();
        output->globalName = name;
        output->output = bind<wl_output>(registry, name, &wl_output_interface, version, 4);
        wl_output_add_listener(output->output, &outputListener, output.get());
        g.outputs.push_back(std::move(output));
        if (g.outputsKnown) outputsChanged();
    }
}

void removed(void*, wl_registry*, std::uint32_t name) {
    // An output that goes keeps its record, which a surface may still name.
    for (const auto& output : theGlobals.outputs)
        if (output->globalName == name) outputsChanged();
}

const wl_registry_listener registryListener = {announced, removed};

bool connectionFailed() {
    theGlobals.connectionLost = true;
    return false;
}

}  // namespace

Globals& globals() { return theGlobals; }

bool connectDisplay() {
    // Only a compositor named in the environment counts: without one the X11 path runs as before.
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (!name || !*name) return false;
    Globals& g = theGlobals;
    g.display = wl_display_connect(nullptr);
    if (!g.display) return false;
    g.registry = wl_display_get_registry(g.display);
    wl_registry_add_listener(g.registry, &registryListener, nullptr);
    // The first round trip announces the globals, the second the outputs' and seat's details.
    if (wl_display_roundtrip(g.display) < 0 || wl_display_roundtrip(g.display) < 0) {
        disconnectDisplay();
        return false;
    }
    g.outputsKnown = true;
    return true;
}

void disconnectDisplay() {
    Globals& g = theGlobals;
    if (!g.display) return;
    destroySurfaces();
    releaseSeat();
    for (auto& output : g.outputs) {
        if (wl_output_get_version(output->output) >= WL_OUTPUT_RELEASE_SINCE_VERSION) {
            wl_output_release(output->output);
        } else {
            wl_output_destroy(output->output);
        }
    }
    // Objects whose interface has no destroy request of its own go without telling the compositor.
    if (g.layerShell) {
        if (g.layerShellVersion >= ZWLR_LAYER_SHELL_V1_DESTROY_SINCE_VERSION) {
            zwlr_layer_shell_v1_destroy(g.layerShell);
        } else {
            wl_proxy_destroy(reinterpret_cast<wl_proxy*>(g.layerShell));
        }
    }
    if (g.fractionalScale) wp_fractional_scale_manager_v1_destroy(g.fractionalScale);
    if (g.viewporter) wp_viewporter_destroy(g.viewporter);
    if (g.wmBase) xdg_wm_base_destroy(g.wmBase);
    if (g.shm) wl_shm_destroy(g.shm);
    if (g.compositor) wl_compositor_destroy(g.compositor);
    wl_registry_destroy(g.registry);
    // No round trip: the compositor takes everything down when the connection closes,
    // and a stop must not wait for a busy compositor.
    wl_display_flush(g.display);
    wl_display_disconnect(g.display);
    g = Globals{};
}

bool readEvents(wl_display* d, int waitMs) {
    while (wl_display_prepare_read(d) != 0)
        if (wl_display_dispatch_pending(d) < 0) return false;
    if (wl_display_flush(d) < 0 && errno != EAGAIN) {
        wl_display_cancel_read(d);
        return false;
    }
    pollfd watched{wl_display_get_fd(d), POLLIN, 0};
    if (poll(&watched, 1, waitMs) > 0) {
        if (wl_display_read_events(d) < 0) return false;
    } else {
        wl_display_cancel_read(d);
    }
    return wl_display_dispatch_pending(d) >= 0;
}

bool pumpEvents() {
    if (theGlobals.connectionLost) return false;
    return readEvents(theGlobals.display, 0) || connectionFailed();
}

void waitForCompositor(int timeoutMs) {
    wl_display* d = theGlobals.display;
    if (theGlobals.connectionLost) return;
    while (wl_display_prepare_read(d) != 0)
        if (wl_display_dispatch_pending(d) < 0) {
            connectionFailed();
            return;
        }
    if (wl_display_flush(d) < 0 && errno != EAGAIN) {
        wl_display_cancel_read(d);
        connectionFailed();
        return;
    }
    if (waitForDescriptor(wl_display_get_fd(d), timeoutMs)) {
        if (wl_display_read_events(d) < 0) connectionFailed();
    } else {
        wl_display_cancel_read(d);
    }
}

}  // namespace vellora::linux_platform::wayland
