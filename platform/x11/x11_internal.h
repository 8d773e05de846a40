// Internal to the X11 backend: the display connection and the services each file
// of this folder provides to the others.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/linux_internal.h"
#include "platform/linux/monitor_shows.h"

namespace vellora::linux_platform {

// The process's one display connection and what the program learned about it.
struct X11Session {
    Display* display = nullptr;
    int screen = 0;
    Atom deleteWindow = 0;
    Atom protocols = 0;
    // Set by the error handler when the show window or a drawable of it vanished.
    bool windowGone = false;
    // The monitor a full-screen show covers; none for the whole screen (one monitor).
    std::optional<MonitorArea> monitor;
    // Started by the first show for one more monitor: the first takes the input and
    // is the one a later start finds.
    bool followsFirst = false;
    // For the first show: the monitors it starts a show on once its window exists,
    // with the arguments they get.
    std::vector<MonitorArea> otherMonitors;
    std::vector<std::string> arguments;
};

X11Session& session();
// Opens the display and installs the error handlers; false when there is no display.
bool openSession();
// Runs `requests` against the display and reports whether none of them failed; the
// errors go nowhere else. For asking about windows that may vanish at any moment.
bool withoutXErrors(const std::function<void()>& requests);
// Takes down the show's window and closes the display, returning once the server
// has done both.
void closeSession();
// The toolkit of the message dialogs installs its own error handler for its own
// connection; this puts ours back in front and hands the toolkit's errors on.
void reclaimErrorHandler();

// The window's contents in memory, shown part by part with MIT-SHM when the
// server offers it and with XPutImage otherwise.
class WindowCanvas : public Canvas {
public:
    virtual ~WindowCanvas() = default;
    // Follows a new window size; what fits of the old contents stays.
    virtual void resize(std::int32_t width, std::int32_t height) = 0;
    // Shows the whole stored contents again, after an expose.
    virtual void repaint() = 0;
    // Shows width × height 0xRRGGBB pixels (row-major) at left, top, clipped to the
    // window, over the contents until a drawing reaches them, which first blanks them.
    virtual void showMessage(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height,
                             const std::uint32_t* pixels) = 0;
};
std::unique_ptr<WindowCanvas> makeWindowCanvas(Window window, std::int32_t width, std::int32_t height,
                                               bool physicalFromScreen);

// Pixels per millimetre as the X screen reports them.
DeviceMetrics screenMetrics();
// The full-screen show's size and density: its monitor's, or the screen's.
DeviceMetrics showAreaMetrics();

// The monitors, the primary first; one or none when the screen is one monitor.
std::vector<MonitorArea> findMonitors();
// From now on a change of monitors or of the screen's size is reported by monitorsChanged.
void watchMonitorChanges();
bool monitorsChanged(const XEvent& event);

WindowServices& windowServices();
ShellServices& shell();

// Creates the ordinary window for trying the show out; closing it ends the show.
Window createOwnWindow();

}  // namespace vellora::linux_platform
