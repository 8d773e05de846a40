// Internal to the Wayland backend: the compositor connection, its outputs, the
// show's surfaces and the services each file of this folder provides to the others.
//
// Conventions: sizes called logical are the compositor's surface coordinates;
// device sizes are the pixels of the output, which the canvas draws in. A
// full-screen show covers one output: the first process the output announced
// first, and a process it starts for each other output that one. One connection
// per process, like the platform's message queue it feeds, so its record is process-wide.
#pragma once

#include <wayland-client.h>

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fractional-scale-v1-client.h"
#include "platform/linux/linux_internal.h"
#include "platform/linux/message_queue.h"
#include "platform/linux/monitor_shows.h"
#include "platform/linux/photo_caption.h"
#include "platform/pixel_drawing.h"
#include "viewporter-client.h"
#include "wlr-layer-shell-unstable-v1-client.h"
#include "xdg-shell-client.h"

namespace vellora::linux_platform::wayland {

struct Output {
    wl_output* output = nullptr;
    std::uint32_t globalName = 0;
    std::int32_t x = 0, y = 0;                   // where the compositor lays it out
    std::int32_t widthMm = 0, heightMm = 0;
    std::int32_t modeWidth = 0, modeHeight = 0;  // the current mode, turned as the output is
    std::int32_t scale = 1;
    std::int32_t transform = WL_OUTPUT_TRANSFORM_NORMAL;
    // Mode, scale and transform as the compositor's last complete report gave them.
    std::optional<std::array<std::int32_t, 4>> reported;
};

struct Globals {
    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    wl_seat* seat = nullptr;
    xdg_wm_base* wmBase = nullptr;
    zwlr_layer_shell_v1* layerShell = nullptr;
    std::uint32_t layerShellVersion = 0;
    wp_viewporter* viewporter = nullptr;
    wp_fractional_scale_manager_v1* fractionalScale = nullptr;
    // In the order the compositor announced them.
    std::vector<std::unique_ptr<Output>> outputs;
    bool outputsKnown = false;  // from here on an output that comes or goes is a change
    bool connectionLost = false;
};

Globals& globals();
// Connects to the compositor WAYLAND_DISPLAY names and learns its globals and outputs.
bool connectDisplay();
void disconnectDisplay();
// Reads and handles what the compositor has sent on a connection, waiting up to
// `waitMs` for it to send something; false when the connection is gone.
bool readEvents(wl_display* display, int waitMs);
// The same for the show's connection, without waiting.
bool pumpEvents();
// Waits for the compositor or the stop descriptor for up to `timeoutMs` (-1: no limit).
void waitForCompositor(int timeoutMs);

// Which output the full-screen show covers, and the shows of the other outputs,
// which the first process starts.
struct MonitorPlan {
    bool followsFirst = false;  // started by the first for one more output
    std::uint32_t output = 0;   // the output's global name; 0 for the one announced first
    std::vector<std::string> arguments;
    std::vector<MonitorArea> others;
};
MonitorPlan& monitorPlan();
// Plans the shows of a full-screen start; false when the output a show was
// started for is not there (it went in the meantime).
bool planMonitors(const std::optional<MonitorArea>& startedFor, const std::vector<std::string>& arguments);
// Starts the other outputs' shows once the first's surface exists; a stop when one cannot be started.
void startOtherMonitors();
// Whether this show's surface alone has the keyboard while the shows run, so that
// its leaving means another client took it: the first's overlay (those of the
// others take none), or the full-screen window of a show on one output (windows
// cannot refuse the keyboard, so on more outputs it moves between them).
bool holdsTheKeyboard();

class SurfaceCanvas;

// A surface with its role: a layer-shell overlay or a full-screen xdg toplevel on
// one output, or the ordinary window of --window.
struct ShowSurface {
    enum class Role { overlay, fullScreenToplevel, ownWindow };
    Role role = Role::overlay;
    Output* output = nullptr;  // none for the ordinary window
    wl_surface* surface = nullptr;
    zwlr_layer_surface_v1* layer = nullptr;
    xdg_surface* xdgSurface = nullptr;
    xdg_toplevel* toplevel = nullptr;
    wp_viewport* viewport = nullptr;
    wp_fractional_scale_v1* fractionalScale = nullptr;
    std::uint32_t preferredScale120 = 0;  // the compositor's scale in 120ths, where it says
    std::int32_t logicalWidth = 0, logicalHeight = 0;
    // A toplevel's size from its last configure, applied when the configure is acknowledged.
    std::int32_t proposedWidth = 0, proposedHeight = 0;
    bool configured = false;
    bool resizePending = false;
    std::unique_ptr<SurfaceCanvas> canvas;
};

// Creates the full-screen show's surface on the planned output; false when the
// compositor offers neither layer-shell nor xdg-shell.
bool createFullScreenSurface();
// Creates the ordinary window of --window.
bool createOwnWindow();
// Waits until the show's surface has its size and first frame; false when the
// compositor never gives it one or closes it.
bool awaitFirstConfigure();
// A layer surface lets a box of another program above it while the box is open.
void stepDown(bool down);
void destroySurfaces();
// Applies sizes that changed while a drawing call ran.
void applyPendingResizes();
// The show's surface, and every surface.
ShowSurface* showSurface();
std::vector<std::unique_ptr<ShowSurface>>& surfaces();
ShowSurface* surfaceOf(wl_surface* surface);

// The device size the show draws in, and the buffer the surface shows it with:
// the drawing lies in the buffer's top left, and a buffer larger than it reaches
// past the output's edge, where a surface of whole logical pixels must to cover an
// output whose logical size is not whole (1280 × 1024 at scale 3), so that the
// compositor maps the buffer one to one onto the device pixels.
struct DeviceSize {
    std::int32_t width = 0, height = 0;
    std::int32_t bufferWidth = 0, bufferHeight = 0;
    std::int32_t bufferScale = 1;  // 0 when a viewport maps the buffer instead
    std::int32_t viewWidth = 0, viewHeight = 0;  // the viewport's size in logical pixels
};
DeviceSize deviceSizeOf(const ShowSurface& surface);
// What the shell sees as the whole screen: the show output's device size.
DeviceSize showOutputDeviceSize();

// Shared-memory buffers of one size, reused once the compositor released them.
struct ShmBuffer {
    wl_buffer* buffer = nullptr;
    std::uint32_t* pixels = nullptr;
    std::size_t bytes = 0;
    bool busy = false;
    PixelRect stale;  // where the buffer differs from the canvas's copy
};
class BufferPool {
public:
    BufferPool(std::int32_t width, std::int32_t height, void (*onRelease)(void*), void* owner);
    ~BufferPool();
    BufferPool(const BufferPool&) = delete;
    BufferPool& operator=(const BufferPool&) = delete;
    // A buffer the compositor does not hold, made when needed; null when all are held.
    ShmBuffer* freeBuffer();
    void markChanged(PixelRect rect);

private:
    static void released(void* data, wl_buffer* buffer);
    std::int32_t width_, height_;
    void (*onRelease_)(void*);
    void* owner_;
    std::vector<std::unique_ptr<ShmBuffer>> buffers_;
};
// The largest side of a buffer the program makes.
inline constexpr std::int32_t maxBufferSide = 16384;

// The surface's contents: a device-pixel copy in memory, each drawing call shown
// when it returns with only the changed rectangle damaged and at most one frame
// in flight; what changes while a frame is in flight goes out with the next one.
class SurfaceCanvas : public Canvas, public CaptionCanvas {
public:
    SurfaceCanvas(ShowSurface& surface, DeviceSize size);
    ~SurfaceCanvas() override;
    DeviceMetrics metrics() override;
    void fillBlack(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) override;
    void render(const Picture& picture, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy,
                std::int32_t xSrc, std::int32_t ySrc, std::int32_t cxSrc, std::int32_t cySrc) override;
    void selectBlackBrush() override { brushBlack_ = true; }
    void pie(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, std::int32_t x1,
             std::int32_t y1, std::int32_t x2, std::int32_t y2) override;
    // Follows a new device size; what fits of the old contents stays.
    void resize(DeviceSize size);
    // Shows the whole copy again.
    void repaint();
    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }
    // A frame is with the compositor, or a change waits for the next one.
    bool busy() const { return frame_ != nullptr || !pending_.empty(); }
    void showCaption(const std::string& utf8) override;

private:
    static void frameDone(void* data, wl_callback* callback, std::uint32_t time);
    static void bufferReleased(void* owner);
    bool drawable() const;
    SurfaceView view() { return {copy_.data(), width_, height_}; }
    void changed(PixelRect rect);
    void takeCaptionAway() { changed(caption_.takeAway(view())); }
    void present();
    void applyScale();

    ShowSurface& surface_;
    std::int32_t width_ = 0, height_ = 0;
    DeviceSize size_;
    std::vector<std::uint32_t> copy_;
    std::unique_ptr<BufferPool> pool_;
    PixelRect pending_;
    wl_callback* frame_ = nullptr;
    bool brushBlack_ = false;
    CaptionOverlay caption_;
};

// The handles the shell sees: the full-screen show and the ordinary window; a
// show of another process is found by its process id above otherShowBase.
inline constexpr WindowHandle fullScreenHandle = 1, ownWindowHandle = 2;
inline constexpr WindowHandle otherShowBase = WindowHandle{1} << 32;

// The event loop the window services and the shell services share.
struct EventLoop : MessageQueue {
    WindowHandle show = 0;
    bool fullScreen = false;
    bool destroyed = false;
    bool surfaceClosed = false;  // the compositor took the show's surface away
    std::deque<PostedMessage> input;  // from the compositor, handled after posted messages
};

EventLoop& eventLoop();
// The compositor took the show's surface or the connection away.
bool surfaceLost();
// A quit, a stop signal, the surface's or the connection's end.
bool ended();
// Handles one thing in the order Windows does: posted messages, then input and
// surface events, then a timer. False when there was nothing to do.
bool handleOne();
// While a picture loads: a key or one of the three buttons for the full-screen
// show, which ends on either, ends it now (as a stop request); so does, in any
// form, the compositor's connection, the show's surface or its window going.
void stopOnWaitingInput();
// The seat's keyboard and pointer; input arrives as the shell's messages.
void bindSeat(wl_seat* seat);
void releaseSeat();
// The pointer's travel since the show began, in logical pixels.
ScreenPoint pointerPosition();

WindowServices& windowServices();
ShellServices& shell();

}  // namespace vellora::linux_platform::wayland
