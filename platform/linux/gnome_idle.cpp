// GNOME's idle time and idle inhibitors, asked over the session bus.
#include <gio/gio.h>

#include <cstdlib>
#include <string>

#include <unistd.h>

#include "platform/linux/idle_source.h"

namespace vellora::linux_platform {
namespace {

constexpr int callTimeoutMs = 2000;
constexpr guint32 inhibitIdle = 8;

// Only a bus the session names: GLib would otherwise try to start one through X11.
GDBusConnection* sessionBus() {
    static GDBusConnection* bus = nullptr;
    if (bus) return bus;
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const bool named = (address && *address) || (runtime && *runtime && access((std::string(runtime) + "/bus").c_str(), F_OK) == 0);
    if (!named) return nullptr;
    bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    return bus;
}

// The reply's one value, or null when the call failed; the caller unrefs it.
GVariant* call(const char* name, const char* path, const char* interface, const char* method, GVariant* parameters,
               const char* replyType) {
    GDBusConnection* bus = sessionBus();
    if (!bus) {
        if (parameters) g_variant_unref(g_variant_ref_sink(parameters));
        return nullptr;
    }
    return g_dbus_connection_call_sync(bus, name, path, interface, method, parameters, G_VARIANT_TYPE(replyType),
                                       G_DBUS_CALL_FLAGS_NO_AUTO_START, callTimeoutMs, nullptr, nullptr);
}

std::optional<std::uint64_t> mutterIdleMs() {
    GVariant* reply = call("org.gnome.Mutter.IdleMonitor", "/org/gnome/Mutter/IdleMonitor/Core",
                           "org.gnome.Mutter.IdleMonitor", "GetIdletime", nullptr, "(t)");
    if (!reply) return std::nullopt;
    guint64 ms = 0;
    g_variant_get(reply, "(t)", &ms);
    g_variant_unref(reply);
    return ms;
}

class GnomeIdle : public IdleSource {
public:
    explicit GnomeIdle(std::uint64_t thresholdMs) : thresholdMs_(thresholdMs) {}
    const char* name() const override { return "GNOME idle monitor"; }
    std::optional<IdleState> state() override {
        const std::optional<std::uint64_t> ms = mutterIdleMs();
        if (!ms) return std::nullopt;
        return idleStateFor(*ms, thresholdMs_);
    }

private:
    std::uint64_t thresholdMs_;
};

}  // namespace

std::unique_ptr<IdleSource> openGnomeIdleSource(std::uint64_t thresholdMs) {
    if (!mutterIdleMs()) return nullptr;
    return std::make_unique<GnomeIdle>(thresholdMs);
}

bool gnomeSessionInhibitsIdle() {
    GVariant* reply = call("org.gnome.SessionManager", "/org/gnome/SessionManager", "org.gnome.SessionManager",
                           "IsInhibited", g_variant_new("(u)", inhibitIdle), "(b)");
    if (!reply) return false;
    gboolean inhibited = FALSE;
    g_variant_get(reply, "(b)", &inhibited);
    g_variant_unref(reply);
    return inhibited;
}

}  // namespace vellora::linux_platform
