// vellora-wlpointer: pointer actions on the compositor WAYLAND_DISPLAY names,
// through a virtual pointer of its own, and an idle inhibitor, for the tests.
// Reads one action a line and answers "ok" once the compositor has it:
//   move DX DY        relative motion in logical pixels
//   warp X Y W H      to X,Y of a W×H extent covering all outputs
//   click 1|2|3       left, middle or right button
//   scroll            one step of the wheel
//   inhibit           holds idling off, as a video player does, through an
//                     inhibitor on a surface of no window (sway counts it as shown)
//   uninhibit         lets idling go on
#include <wayland-client.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "idle-inhibit-unstable-v1-client.h"
#include "wlr-virtual-pointer-unstable-v1-client.h"

namespace {

wl_seat* seat = nullptr;
zwlr_virtual_pointer_manager_v1* manager = nullptr;
wl_compositor* compositor = nullptr;
zwp_idle_inhibit_manager_v1* inhibitManager = nullptr;
wl_surface* inhibitedSurface = nullptr;
zwp_idle_inhibitor_v1* inhibitor = nullptr;

void announced(void*, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t) {
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !seat)
        seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    if (std::strcmp(interface, wl_compositor_interface.name) == 0)
        compositor = static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 1));
    if (std::strcmp(interface, zwp_idle_inhibit_manager_v1_interface.name) == 0)
        inhibitManager = static_cast<zwp_idle_inhibit_manager_v1*>(
            wl_registry_bind(registry, name, &zwp_idle_inhibit_manager_v1_interface, 1));
}
void removed(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener listener = {announced, removed};

std::uint32_t now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::uint32_t>(t.tv_sec * 1000 + t.tv_nsec / 1000000);
}

int usage() {
    std::fputs("usage: vellora-wlpointer (actions on standard input, one a line)\n", stderr);
    return 2;
}

bool inhibit() {
    if (!compositor || !inhibitManager || inhibitor) return false;
    inhibitedSurface = wl_compositor_create_surface(compositor);
    inhibitor = zwp_idle_inhibit_manager_v1_create_inhibitor(inhibitManager, inhibitedSurface);
    return true;
}

bool uninhibit() {
    if (!inhibitor) return false;
    zwp_idle_inhibitor_v1_destroy(inhibitor);
    wl_surface_destroy(inhibitedSurface);
    inhibitor = nullptr;
    inhibitedSurface = nullptr;
    return true;
}

bool act(zwlr_virtual_pointer_v1* pointer, const std::string& line) {
    char action[16] = {};
    int a = 0, b = 0, c = 0, d = 0;
    const int fields = std::sscanf(line.c_str(), "%15s %d %d %d %d", action, &a, &b, &c, &d);
    const std::string name = fields >= 1 ? action : "";
    if (name == "move" && fields == 3) {
        zwlr_virtual_pointer_v1_motion(pointer, now(), wl_fixed_from_int(a), wl_fixed_from_int(b));
    } else if (name == "warp" && fields == 5 && a >= 0 && b >= 0 && c > 0 && d > 0) {
        zwlr_virtual_pointer_v1_motion_absolute(pointer, now(), static_cast<std::uint32_t>(a),
                                                static_cast<std::uint32_t>(b), static_cast<std::uint32_t>(c),
                                                static_cast<std::uint32_t>(d));
    } else if (name == "click" && fields == 2 && a >= 1 && a <= 3) {
        static const std::uint32_t codes[] = {0x110, 0x112, 0x111};  // BTN_LEFT, BTN_MIDDLE, BTN_RIGHT
        zwlr_virtual_pointer_v1_button(pointer, now(), codes[a - 1], WL_POINTER_BUTTON_STATE_PRESSED);
        zwlr_virtual_pointer_v1_frame(pointer);
        zwlr_virtual_pointer_v1_button(pointer, now(), codes[a - 1], WL_POINTER_BUTTON_STATE_RELEASED);
    } else if (name == "scroll" && fields == 1) {
        zwlr_virtual_pointer_v1_axis_source(pointer, WL_POINTER_AXIS_SOURCE_WHEEL);
        zwlr_virtual_pointer_v1_axis_discrete(pointer, now(), WL_POINTER_AXIS_VERTICAL_SCROLL, wl_fixed_from_int(15), 1);
    } else if (name == "inhibit" && fields == 1) {
        return inhibit();
    } else if (name == "uninhibit" && fields == 1) {
        return uninhibit();
    } else {
        return false;
    }
    zwlr_virtual_pointer_v1_frame(pointer);
    return true;
}

}  // namespace

// One pointer for the whole run, so that the seat has its pointer before the show
// starts and no action is lost to a client that has yet to learn of it.
int main(int argc, char**) {
    if (argc != 1) return usage();
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fputs("vellora-wlpointer: no compositor\n", stderr);
        return 1;
    }
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, nullptr);
    wl_display_roundtrip(display);
    if (!manager) {
        std::fputs("vellora-wlpointer: the compositor offers no virtual pointers\n", stderr);
        return 1;
    }
    zwlr_virtual_pointer_v1* pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, seat);
    wl_display_roundtrip(display);
    std::puts("ready");
    std::fflush(stdout);
    char line[128];
    while (std::fgets(line, sizeof line, stdin)) {
        const bool done = act(pointer, line);
        if (wl_display_roundtrip(display) < 0) return 1;
        std::puts(done ? "ok" : "?");
        std::fflush(stdout);
    }
    uninhibit();
    if (inhibitManager) zwp_idle_inhibit_manager_v1_destroy(inhibitManager);
    if (compositor) wl_compositor_destroy(compositor);
    zwlr_virtual_pointer_v1_destroy(pointer);
    zwlr_virtual_pointer_manager_v1_destroy(manager);
    if (seat) wl_seat_destroy(seat);
    wl_registry_destroy(registry);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
