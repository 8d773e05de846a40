// The compositor's idle notices: ext_idle_notifier_v1, or org_kde_kwin_idle where
// only that older protocol is offered (older sway, KWin).
#include "platform/wayland/wayland_idle.h"

#include <wayland-client.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "ext-idle-notify-v1-client.h"
#include "org-kde-kwin-idle-client.h"
#include "platform/wayland/wayland_internal.h"

namespace vellora::linux_platform {
namespace {

using wayland::readEvents;

constexpr int patienceMs = 2000;

void synced(void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; }
const wl_callback_listener syncListener = {synced};

// A round trip that gives up after `patienceMs`: a compositor that stopped answering
// must not hang the watcher.
bool roundtrip(wl_display* display) {
    bool done = false;
    wl_callback* callback = wl_display_sync(display);
    wl_callback_add_listener(callback, &syncListener, &done);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(patienceMs);
    while (!done) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !readEvents(display, static_cast<int>(left.count()))) break;
    }
    wl_callback_destroy(callback);
    return done;
}

class WaylandIdle : public IdleSource {
public:
    WaylandIdle(wl_display* display, std::uint64_t thresholdMs)
        : display_(display), thresholdMs_(thresholdMs), registry_(wl_display_get_registry(display)) {
        wl_registry_add_listener(registry_, &registryListener, this);
    }
    ~WaylandIdle() override {
        if (extNotice_) ext_idle_notification_v1_destroy(extNotice_);
        if (kdeNotice_) org_kde_kwin_idle_timeout_release(kdeNotice_);
        if (extNotifier_) ext_idle_notifier_v1_destroy(extNotifier_);
        if (kdeIdle_) org_kde_kwin_idle_destroy(kdeIdle_);
        if (seat_) wl_seat_destroy(seat_);
        wl_registry_destroy(registry_);
        wl_display_flush(display_);
        wl_display_disconnect(display_);
    }

    // Learns the globals and asks for the notice; false when the compositor offers
    // no way to ask or stops answering.
    bool start() {
        if (!roundtrip(display_) || !seat_) return false;
        const auto timeout = static_cast<std::uint32_t>(std::min<std::uint64_t>(thresholdMs_, UINT32_MAX));
        if (extNotifier_) {
            extNotice_ = ext_idle_notifier_v1_get_idle_notification(extNotifier_, timeout, seat_);
            ext_idle_notification_v1_add_listener(extNotice_, &extListener, this);
        } else if (kdeIdle_) {
            kdeNotice_ = org_kde_kwin_idle_get_idle_timeout(kdeIdle_, seat_, timeout);
            org_kde_kwin_idle_timeout_add_listener(kdeNotice_, &kdeListener, this);
        } else {
            return false;
        }
        return roundtrip(display_);
    }

    const char* name() const override {
        return extNotice_ ? "Wayland ext_idle_notifier_v1" : "Wayland org_kde_kwin_idle";
    }
    std::optional<IdleState> state() override {
        if (!readEvents(display_, 0)) return std::nullopt;
        // Not idle: the notice wakes the watcher, which need not look again before
        // the threshold has passed.
        if (!idle_) return IdleState{false, thresholdMs_};
        return IdleState{true, 0};
    }
    int wakeDescriptor() override { return wl_display_get_fd(display_); }

private:
    static void announced(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                          std::uint32_t) {
        auto* self = static_cast<WaylandIdle*>(data);
        if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->seat_) {
            self->seat_ = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        } else if (std::strcmp(interface, ext_idle_notifier_v1_interface.name) == 0 && !self->extNotifier_) {
            self->extNotifier_ = static_cast<ext_idle_notifier_v1*>(
                wl_registry_bind(registry, name, &ext_idle_notifier_v1_interface, 1));
        } else if (std::strcmp(interface, org_kde_kwin_idle_interface.name) == 0 && !self->kdeIdle_) {
            self->kdeIdle_ = static_cast<org_kde_kwin_idle*>(
                wl_registry_bind(registry, name, &org_kde_kwin_idle_interface, 1));
        }
    }
    static void removed(void*, wl_registry*, std::uint32_t) {}
    static void becameIdle(void* data) { static_cast<WaylandIdle*>(data)->idle_ = true; }
    static void resumed(void* data) { static_cast<WaylandIdle*>(data)->idle_ = false; }

    static constexpr wl_registry_listener registryListener = {announced, removed};
    static constexpr ext_idle_notification_v1_listener extListener = {
        [](void* data, ext_idle_notification_v1*) { becameIdle(data); },
        [](void* data, ext_idle_notification_v1*) { resumed(data); }};
    static constexpr org_kde_kwin_idle_timeout_listener kdeListener = {
        [](void* data, org_kde_kwin_idle_timeout*) { becameIdle(data); },
        [](void* data, org_kde_kwin_idle_timeout*) { resumed(data); }};

    wl_display* display_;
    std::uint64_t thresholdMs_;
    wl_registry* registry_;
    wl_seat* seat_ = nullptr;
    ext_idle_notifier_v1* extNotifier_ = nullptr;
    org_kde_kwin_idle* kdeIdle_ = nullptr;
    ext_idle_notification_v1* extNotice_ = nullptr;
    org_kde_kwin_idle_timeout* kdeNotice_ = nullptr;
    bool idle_ = false;
};

}  // namespace

std::unique_ptr<IdleSource> openWaylandIdleSource(std::uint64_t thresholdMs) {
    // Only a compositor named in the environment counts, as for the show.
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (!name || !*name) return nullptr;
    wl_display* display = wl_display_connect(nullptr);
    if (!display) return nullptr;
    auto source = std::make_unique<WaylandIdle>(display, thresholdMs);
    if (!source->start()) return nullptr;
    return source;
}

}  // namespace vellora::linux_platform
