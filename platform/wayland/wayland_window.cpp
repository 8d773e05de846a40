// The show's surface and its role: a layer-shell overlay on its output where the
// compositor offers layer-shell, a full-screen xdg toplevel elsewhere, and an
// ordinary toplevel for --window; and which output each full-screen show covers.
#include <algorithm>

#include "platform/messages.h"
#include "platform/wayland/wayland_internal.h"

namespace vellora::linux_platform::wayland {
namespace {

std::vector<std::unique_ptr<ShowSurface>> theSurfaces;
MonitorPlan thePlan;
constexpr int configureTimeoutMs = 5000;

bool turned(const Output& output) {
    return output.transform == WL_OUTPUT_TRANSFORM_90 || output.transform == WL_OUTPUT_TRANSFORM_270 ||
           output.transform == WL_OUTPUT_TRANSFORM_FLIPPED_90 || output.transform == WL_OUTPUT_TRANSFORM_FLIPPED_270;
}

// The output's pixels as they lie on the screen, after its turn.
std::pair<std::int32_t, std::int32_t> modeOnScreen(const Output& output) {
    if (turned(output)) return {output.modeHeight, output.modeWidth};
    return {output.modeWidth, output.modeHeight};
}

// The surface took a new logical size: the first one brings its canvas, a later
// one is applied by the loop, never in the middle of a drawing call. An overlay
// has its output's logical size, so a new one is a change of the output (a
// fractional scale that the output's report does not tell apart), which ends the
// show as a change of its mode does.
void configured(ShowSurface& s, std::int32_t width, std::int32_t height) {
    const bool sizeChanged = width != s.logicalWidth || height != s.logicalHeight;
    s.logicalWidth = width;
    s.logicalHeight = height;
    if (!s.configured) {
        s.configured = true;
        s.canvas = std::make_unique<SurfaceCanvas>(s, deviceSizeOf(s));
    } else if (sizeChanged && s.role == ShowSurface::Role::overlay) {
        requestStop();
    } else if (sizeChanged) {
        s.resizePending = true;
    } else {
        // Acknowledged with a commit, as a toplevel's configure must be.
        s.canvas->repaint();
    }
}

void surfaceClosed(ShowSurface& s) {
    if (s.role == ShowSurface::Role::ownWindow) {
        eventLoop().posted.push_back({ownWindowHandle, msg::close, 0, 0});
    } else {
        eventLoop().surfaceClosed = true;
    }
}

void layerConfigure(void* data, zwlr_layer_surface_v1* layer, std::uint32_t serial, std::uint32_t width,
                    std::uint32_t height) {
    auto& s = *static_cast<ShowSurface*>(data);
    zwlr_layer_surface_v1_ack_configure(layer, serial);
    configured(s, static_cast<std::int32_t>(std::min<std::uint32_t>(width, maxBufferSide)),
               static_cast<std::int32_t>(std::min<std::uint32_t>(height, maxBufferSide)));
}

void layerClosed(void* data, zwlr_layer_surface_v1*) { surfaceClosed(*static_cast<ShowSurface*>(data)); }

const zwlr_layer_surface_v1_listener layerListener = {layerConfigure, layerClosed};

void toplevelConfigure(void* data, xdg_toplevel*, std::int32_t width, std::int32_t height, wl_array*) {
    auto& s = *static_cast<ShowSurface*>(data);
    s.proposedWidth = std::clamp(width, 0, maxBufferSide);
    s.proposedHeight = std::clamp(height, 0, maxBufferSide);
}

void toplevelClose(void* data, xdg_toplevel*) { surfaceClosed(*static_cast<ShowSurface*>(data)); }

void toplevelBounds(void*, xdg_toplevel*, std::int32_t, std::int32_t) {}
void toplevelCapabilities(void*, xdg_toplevel*, wl_array*) {}
const xdg_toplevel_listener toplevelListener = {toplevelConfigure, toplevelClose, toplevelBounds,
                                                toplevelCapabilities};

// The output the full-screen show covers; null when it is gone.
Output* plannedOutput() {
    for (auto& output : globals().outputs)
        if (thePlan.output == 0 || output->globalName == thePlan.output) return output.get();
    return nullptr;
}

MonitorArea areaOf(const Output& output) {
    const auto [w, h] = modeOnScreen(output);
    return {output.x, output.y, std::clamp(w, 1, 65535), std::clamp(h, 1, 65535),
            std::min(output.widthMm, 65535), std::min(output.heightMm, 65535), output.globalName};
}

// The size a toplevel takes when the compositor leaves it to the program.
std::pair<std::int32_t, std::int32_t> chosenSize(const ShowSurface& s) {
    const Output* output = s.output ? s.output : plannedOutput();
    auto [w, h] = output ? modeOnScreen(*output) : std::pair<std::int32_t, std::int32_t>{1280, 960};
    const std::int32_t scale = output ? output->scale : 1;
    const std::int32_t divisor = s.role == ShowSurface::Role::ownWindow ? 2 * scale : scale;
    return {std::max(w / divisor, 1), std::max(h / divisor, 1)};
}

void xdgSurfaceConfigure(void* data, xdg_surface* surface, std::uint32_t serial) {
    auto& s = *static_cast<ShowSurface*>(data);
    xdg_surface_ack_configure(surface, serial);
    auto [w, h] = chosenSize(s);
    if (s.proposedWidth > 0 && s.proposedHeight > 0) {
        w = s.proposedWidth;
        h = s.proposedHeight;
    }
    configured(s, w, h);
}

const xdg_surface_listener xdgSurfaceListener = {xdgSurfaceConfigure};

void preferredScale(void* data, wp_fractional_scale_v1*, std::uint32_t scale120) {
    auto& s = *static_cast<ShowSurface*>(data);
    if (scale120 == s.preferredScale120 || scale120 == 0 || scale120 > 16 * 120) return;
    s.preferredScale120 = scale120;
    if (s.configured) s.resizePending = true;
}

const wp_fractional_scale_v1_listener fractionalScaleListener = {preferredScale};

std::unique_ptr<ShowSurface> baseSurface(ShowSurface::Role role, Output* output) {
    auto s = std::make_unique<ShowSurface>();
    s->role = role;
    s->output = output;
    s->surface = wl_compositor_create_surface(globals().compositor);
    if (globals().viewporter) {
        s->viewport = wp_viewporter_get_viewport(globals().viewporter, s->surface);
        if (globals().fractionalScale) {
            s->fractionalScale = wp_fractional_scale_manager_v1_get_fractional_scale(globals().fractionalScale, s->surface);
            wp_fractional_scale_v1_add_listener(s->fractionalScale, &fractionalScaleListener, s.get());
        }
    }
    return s;
}

// Every key reaches the first show, which ends them all; the others take no keyboard.
std::uint32_t keyboardInteractivity(bool steppedDown) {
    return steppedDown || thePlan.followsFirst ? ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE
                                               : ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE;
}

void giveLayerRole(ShowSurface& s) {
    s.layer = zwlr_layer_shell_v1_get_layer_surface(globals().layerShell, s.surface, s.output->output,
                                                    ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "vellora");
    zwlr_layer_surface_v1_add_listener(s.layer, &layerListener, &s);
    zwlr_layer_surface_v1_set_anchor(s.layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                                  ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_exclusive_zone(s.layer, -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(s.layer, keyboardInteractivity(false));
    wl_surface_commit(s.surface);
}

void giveToplevelRole(ShowSurface& s, const char* title) {
    s.xdgSurface = xdg_wm_base_get_xdg_surface(globals().wmBase, s.surface);
    xdg_surface_add_listener(s.xdgSurface, &xdgSurfaceListener, &s);
    s.toplevel = xdg_surface_get_toplevel(s.xdgSurface);
    xdg_toplevel_add_listener(s.toplevel, &toplevelListener, &s);
    xdg_toplevel_set_title(s.toplevel, title);
    xdg_toplevel_set_app_id(s.toplevel, "vellora");
    if (s.role == ShowSurface::Role::fullScreenToplevel) xdg_toplevel_set_fullscreen(s.toplevel, s.output->output);
    wl_surface_commit(s.surface);
}

// A buffer drawn whole, clamped to the largest the program makes.
DeviceSize drawnWhole(std::int32_t width, std::int32_t height, std::int32_t bufferScale) {
    width = std::clamp(width, 1, maxBufferSide);
    height = std::clamp(height, 1, maxBufferSide);
    return {width, height, width, height, bufferScale, 0, 0};
}

// A scale as a fraction, to round as compositors do without doubles' errors.
struct Ratio {
    std::int64_t numerator = 1, denominator = 1;
};

// Compositors place a surface's edges on the device pixels nearest to them, halves
// away from the corner: a surface of `logical` pixels from the output's corner
// covers this many at `scale`.
std::int32_t coveredPixels(std::int32_t logical, Ratio scale) {
    return static_cast<std::int32_t>((2 * logical * scale.numerator + scale.denominator) / (2 * scale.denominator));
}

// The output's scale. A compositor that offers fractional scales says it in
// 120ths; sway 1.7 tells only the whole number at or above it, and sizes the
// output in whole logical pixels, truncated (1504 × 1002 for 2256 × 1504 at 1.5).
// Every scale above m / (l + 1) and at most m / l in both directions gives that
// size: of those up to the whole number, the simplest fraction (the whole number
// itself where it is one of them, 3/2 rather than 1501/1000), as people choose
// scales. Nothing where no fraction with a denominator below 10000 does.
std::optional<Ratio> outputScale(const ShowSurface& s, std::int32_t mw, std::int32_t mh, std::int32_t whole) {
    if (s.preferredScale120 > 0) return Ratio{s.preferredScale120, 120};
    const std::int64_t lw = std::max(s.logicalWidth, 1), lh = std::max(s.logicalHeight, 1);
    // Above the larger of mw / (lw + 1) and mh / (lh + 1), at most the least of mw / lw, mh / lh and whole.
    const Ratio low = mw * (lh + 1) > mh * (lw + 1) ? Ratio{mw, lw + 1} : Ratio{mh, lh + 1};
    Ratio high = mw * lh < mh * lw ? Ratio{mw, lw} : Ratio{mh, lh};
    if (high.numerator > whole * high.denominator) high = {whole, 1};
    for (std::int64_t denominator = 1; denominator < 10000; ++denominator) {
        const std::int64_t numerator = high.numerator * denominator / high.denominator;
        if (numerator * low.denominator > low.numerator * denominator) return Ratio{numerator, denominator};
    }
    return std::nullopt;
}

// The buffer of a surface that covers an output of mw × mh device pixels: the
// logical size it was given, or one logical pixel more where that falls short of
// the output's edge, at the output's scale through the buffer scale where that is
// whole and through a viewport where it is not. Where the scale cannot be told,
// the output's pixels through a viewport of the logical size, which the compositor
// stretches to what it covers; nothing without viewports.
std::optional<DeviceSize> coveringOutput(const ShowSurface& s, std::int32_t mw, std::int32_t mh, std::int32_t whole) {
    const std::int32_t lw = std::max(s.logicalWidth, 1), lh = std::max(s.logicalHeight, 1);
    const std::optional<Ratio> scale = outputScale(s, mw, mh, whole);
    const bool viewport = !scale || scale->numerator % scale->denominator != 0;
    if (viewport && !s.viewport) return std::nullopt;
    if (!scale) return DeviceSize{mw, mh, mw, mh, 0, lw, lh};
    const auto covering = [&scale](std::int32_t mode, std::int32_t logical) {
        return coveredPixels(logical, *scale) >= mode ? logical : logical + 1;
    };
    const std::int32_t vw = covering(mw, lw), vh = covering(mh, lh);
    const std::int32_t bw = coveredPixels(vw, *scale), bh = coveredPixels(vh, *scale);
    if (bw < mw || bh < mh || bw > maxBufferSide || bh > maxBufferSide) return std::nullopt;
    if (viewport) return DeviceSize{mw, mh, bw, bh, 0, vw, vh};
    return DeviceSize{mw, mh, bw, bh, static_cast<std::int32_t>(scale->numerator / scale->denominator)};
}

}  // namespace

std::vector<std::unique_ptr<ShowSurface>>& surfaces() { return theSurfaces; }

ShowSurface* showSurface() { return theSurfaces.empty() ? nullptr : theSurfaces.front().get(); }

ShowSurface* surfaceOf(wl_surface* surface) {
    for (auto& s : theSurfaces)
        if (s->surface == surface) return s.get();
    return nullptr;
}

DeviceSize deviceSizeOf(const ShowSurface& s) {
    const std::int32_t lw = std::max(s.logicalWidth, 1), lh = std::max(s.logicalHeight, 1);
    const Output* output = s.output ? s.output : plannedOutput();
    if (!output) return drawnWhole(lw, lh, 1);
    const std::int32_t scale = output->scale;
    const auto [mw, mh] = modeOnScreen(*output);
    // A surface that covers its output draws one buffer pixel per output pixel.
    if (s.role != ShowSurface::Role::ownWindow && mw > 0 && mh > 0)
        if (const std::optional<DeviceSize> size = coveringOutput(s, mw, mh, scale)) return *size;
    // A window, or an output without a mode: the compositor's own fractional scale,
    // where it says one, rounded as it rounds surfaces.
    if (s.viewport && s.preferredScale120 > 0 && s.preferredScale120 % 120 != 0) {
        const Ratio preferred{s.preferredScale120, 120};
        DeviceSize size = drawnWhole(coveredPixels(lw, preferred), coveredPixels(lh, preferred), 0);
        size.viewWidth = lw;
        size.viewHeight = lh;
        return size;
    }
    if (s.preferredScale120 > 0 && s.preferredScale120 % 120 == 0) {
        const std::int32_t whole = static_cast<std::int32_t>(s.preferredScale120 / 120);
        return drawnWhole(lw * whole, lh * whole, whole);
    }
    return drawnWhole(lw * scale, lh * scale, scale);
}

DeviceSize showOutputDeviceSize() {
    if (const ShowSurface* s = showSurface(); s && s->canvas)
        return {s->canvas->width(), s->canvas->height(), s->canvas->width(), s->canvas->height()};
    const Output* output = plannedOutput();
    if (!output) return {};
    const auto [w, h] = modeOnScreen(*output);
    return {w, h, w, h};
}

MonitorPlan& monitorPlan() { return thePlan; }

bool planMonitors(const std::optional<MonitorArea>& startedFor, const std::vector<std::string>& arguments) {
    if (startedFor) {
        thePlan.followsFirst = true;
        thePlan.output = startedFor->output;
        return plannedOutput() != nullptr;
    }
    // The first process covers the output announced first and starts a show for each other one.
    const auto& outputs = globals().outputs;
    for (std::size_t i = 1; i < outputs.size() && i < maxMonitors; ++i) thePlan.others.push_back(areaOf(*outputs[i]));
    thePlan.arguments = arguments;
    return true;
}

void startOtherMonitors() {
    if (!thePlan.others.empty() && !startMonitorShows(thePlan.arguments, thePlan.others)) requestStop();
}

bool holdsTheKeyboard() {
    const ShowSurface* s = showSurface();
    if (!s || s->role == ShowSurface::Role::ownWindow || thePlan.followsFirst) return false;
    return s->role == ShowSurface::Role::overlay || thePlan.others.empty();
}

bool createFullScreenSurface() {
    Globals& g = globals();
    Output* output = plannedOutput();
    if ((!g.layerShell && !g.wmBase) || !output) return false;
    const auto role = g.layerShell ? ShowSurface::Role::overlay : ShowSurface::Role::fullScreenToplevel;
    auto s = baseSurface(role, output);
    if (g.layerShell) {
        giveLayerRole(*s);
    } else {
        giveToplevelRole(*s, "Vellora");
    }
    theSurfaces.push_back(std::move(s));
    return true;
}

bool createOwnWindow() {
    if (!globals().wmBase) return false;
    auto s = baseSurface(ShowSurface::Role::ownWindow, nullptr);
    giveToplevelRole(*s, "Vellora");
    theSurfaces.push_back(std::move(s));
    return true;
}

bool awaitFirstConfigure() {
    const std::uint64_t deadline = nowMs() + configureTimeoutMs;
    for (;;) {
        if (!pumpEvents() || eventLoop().surfaceClosed || stopRequested()) return false;
        const ShowSurface* s = showSurface();
        if (s && s->configured) return true;
        const std::uint64_t now = nowMs();
        if (now >= deadline) return false;
        waitForCompositor(static_cast<int>(deadline - now));
    }
}

void applyPendingResizes() {
    for (auto& s : theSurfaces) {
        if (!s->resizePending || !s->canvas) continue;
        s->resizePending = false;
        s->canvas->resize(deviceSizeOf(*s));
    }
}

void stepDown(bool down) {
    for (auto& s : theSurfaces) {
        if (!s->layer) continue;
        if (globals().layerShellVersion >= 2) {
            zwlr_layer_surface_v1_set_layer(s->layer, down ? ZWLR_LAYER_SHELL_V1_LAYER_BOTTOM : ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY);
        }
        zwlr_layer_surface_v1_set_keyboard_interactivity(s->layer, keyboardInteractivity(down));
        wl_surface_commit(s->surface);
    }
    wl_display_flush(globals().display);
}

void destroySurfaces() {
    for (auto& s : theSurfaces) {
        s->canvas.reset();
        if (s->fractionalScale) wp_fractional_scale_v1_destroy(s->fractionalScale);
        if (s->viewport) wp_viewport_destroy(s->viewport);
        if (s->layer) zwlr_layer_surface_v1_destroy(s->layer);
        if (s->toplevel) xdg_toplevel_destroy(s->toplevel);
        if (s->xdgSurface) xdg_surface_destroy(s->xdgSurface);
        wl_surface_destroy(s->surface);
    }
    theSurfaces.clear();
}

}  // namespace vellora::linux_platform::wayland
