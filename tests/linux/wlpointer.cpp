// vellora-wlpointer: pointer actions on the compositor WAYLAND_DISPLAY names,
// through a virtual pointer of its own, an idle inhibitor, and an output's
// pixels exactly as the compositor holds them, for the tests.
// Reads one action a line and answers "ok" once the compositor has it:
//   move DX DY        relative motion in logical pixels
//   warp X Y W H      to X,Y of a W×H extent covering all outputs
//   click 1|2|3       left, middle or right button
//   scroll            one step of the wheel
//   inhibit           holds idling off, as a video player does, through an
//                     inhibitor on a surface of no window (sway counts it as shown)
//   uninhibit         lets idling go on
//   shot N PATH       writes output N's (counted from 0, in the order of their
//                     names) device pixels, before its transform, to PATH as
//                     0xRRGGBB words (little-endian, row-major from the top), and
//                     answers "ok WIDTH HEIGHT" instead of "ok"
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "idle-inhibit-unstable-v1-client.h"
#include "wlr-screencopy-unstable-v1-client.h"
#include "wlr-virtual-pointer-unstable-v1-client.h"

namespace {

wl_seat* seat = nullptr;
zwlr_virtual_pointer_manager_v1* manager = nullptr;
wl_compositor* compositor = nullptr;
zwp_idle_inhibit_manager_v1* inhibitManager = nullptr;
wl_surface* inhibitedSurface = nullptr;
zwp_idle_inhibitor_v1* inhibitor = nullptr;
wl_shm* shm = nullptr;
zwlr_screencopy_manager_v1* screencopy = nullptr;

struct NamedOutput {
    wl_output* output = nullptr;
    std::string name;
};
std::vector<NamedOutput> outputs;

void outputName(void* data, wl_output*, const char* name) {
    outputs[reinterpret_cast<std::uintptr_t>(data)].name = name;
}
void outputGeometry(void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                    const char*, const char*, std::int32_t) {}
void outputMode(void*, wl_output*, std::uint32_t, std::int32_t, std::int32_t, std::int32_t) {}
void outputDone(void*, wl_output*) {}
void outputScale(void*, wl_output*, std::int32_t) {}
void outputDescription(void*, wl_output*, const char*) {}
const wl_output_listener outputListener = {outputGeometry, outputMode, outputDone, outputScale, outputName,
                                           outputDescription};

void announced(void*, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t version) {
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
    if (std::strcmp(interface, wl_shm_interface.name) == 0)
        shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    if (std::strcmp(interface, zwlr_screencopy_manager_v1_interface.name) == 0)
        screencopy = static_cast<zwlr_screencopy_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_screencopy_manager_v1_interface, 1));
    if (std::strcmp(interface, wl_output_interface.name) == 0 && version >= 4) {
        auto* output = static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, 4));
        wl_output_add_listener(output, &outputListener, reinterpret_cast<void*>(outputs.size()));
        outputs.push_back({output, ""});
    }
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

// One screen copy: the compositor names the buffer it wants, the helper hands it
// one of shared memory, and the copy is ready or has failed.
struct Copy {
    std::uint32_t format = 0, width = 0, height = 0, stride = 0;
    bool offered = false, yInvert = false, done = false, failed = false;
};
void copyBuffer(void* data, zwlr_screencopy_frame_v1*, std::uint32_t format, std::uint32_t width, std::uint32_t height,
                std::uint32_t stride) {
    *static_cast<Copy*>(data) = {format, width, height, stride, true};
}
void copyFlags(void* data, zwlr_screencopy_frame_v1*, std::uint32_t flags) {
    static_cast<Copy*>(data)->yInvert = (flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT) != 0;
}
void copyReady(void* data, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {
    static_cast<Copy*>(data)->done = true;
}
void copyFailed(void* data, zwlr_screencopy_frame_v1*) { static_cast<Copy*>(data)->failed = true; }
const zwlr_screencopy_frame_v1_listener copyListener = {copyBuffer, copyFlags, copyReady, copyFailed, nullptr,
                                                        nullptr, nullptr};

// Writes the output's pixels to `path`; its size, or nothing when it could not be copied.
std::string shot(wl_display* display, int index, const char* path) {
    std::vector<NamedOutput> sorted = outputs;
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    if (!screencopy || !shm || index < 0 || index >= static_cast<int>(sorted.size())) return "";
    Copy copy;
    zwlr_screencopy_frame_v1* frame = zwlr_screencopy_manager_v1_capture_output(screencopy, 0, sorted[index].output);
    zwlr_screencopy_frame_v1_add_listener(frame, &copyListener, &copy);
    while (!copy.offered && !copy.failed && wl_display_dispatch(display) >= 0) {
    }
    const bool words = copy.format == WL_SHM_FORMAT_XRGB8888 || copy.format == WL_SHM_FORMAT_ARGB8888;
    std::string answer;
    if (copy.offered && words && copy.stride >= copy.width * 4) {
        const std::size_t bytes = static_cast<std::size_t>(copy.stride) * copy.height;
        const int fd = memfd_create("vellora-shot", MFD_CLOEXEC);
        void* memory = fd >= 0 && ftruncate(fd, static_cast<off_t>(bytes)) == 0
                           ? mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                           : MAP_FAILED;
        if (memory != MAP_FAILED) {
            wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<std::int32_t>(bytes));
            wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, static_cast<std::int32_t>(copy.width),
                                                          static_cast<std::int32_t>(copy.height),
                                                          static_cast<std::int32_t>(copy.stride), copy.format);
            zwlr_screencopy_frame_v1_copy(frame, buffer);
            while (!copy.done && !copy.failed && wl_display_dispatch(display) >= 0) {
            }
            FILE* out = copy.done ? std::fopen(path, "wb") : nullptr;
            if (out) {
                std::vector<std::uint32_t> row(copy.width);
                for (std::uint32_t y = 0; y < copy.height; ++y) {
                    const std::uint32_t from = copy.yInvert ? copy.height - 1 - y : y;
                    const char* source = static_cast<const char*>(memory) + std::size_t{from} * copy.stride;
                    std::memcpy(row.data(), source, copy.width * 4);
                    for (std::uint32_t& word : row) word &= 0xFFFFFF;
                    std::fwrite(row.data(), 4, row.size(), out);
                }
                if (std::fclose(out) == 0) answer = std::to_string(copy.width) + " " + std::to_string(copy.height);
            }
            wl_buffer_destroy(buffer);
            wl_shm_pool_destroy(pool);
            munmap(memory, bytes);
        }
        if (fd >= 0) close(fd);
    }
    zwlr_screencopy_frame_v1_destroy(frame);
    return answer;
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
    char line[4200];
    while (std::fgets(line, sizeof line, stdin)) {
        int output = 0;
        char path[4096] = {};
        if (std::sscanf(line, "shot %d %4095s", &output, path) == 2) {
            const std::string size = shot(display, output, path);
            std::puts(size.empty() ? "?" : ("ok " + size).c_str());
            std::fflush(stdout);
            continue;
        }
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
