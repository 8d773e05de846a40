// The seat and the event loop: keyboard and pointer events become the shell's
// window messages, so the input and close rules are the same code as on Windows.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <optional>

#include "platform/gtk/message_box.h"
#include "platform/linux/program_text.h"
#include "platform/messages.h"
#include "platform/wayland/wayland_internal.h"

namespace vellora::linux_platform::wayland {
namespace {

EventLoop loop;

// BTN_LEFT, BTN_RIGHT and BTN_MIDDLE of the kernel's input codes.
constexpr std::uint32_t buttonLeft = 0x110, buttonRight = 0x111, buttonMiddle = 0x112;

// Where the pointer is, counted as travel: each time it enters a surface the count
// goes on from where it stood, so only movement over the show counts, never the
// jump between where it was before and where it entered.
struct PointerTravel {
    ScreenPoint reported;
    double enteredX = 0, enteredY = 0;
    ScreenPoint base;
} travel;

wl_keyboard* keyboard = nullptr;
wl_pointer* pointer = nullptr;

bool takesInput() { return loop.fullScreen && !loop.destroyed; }

void queueInput(MessageId message) {
    if (takesInput()) loop.input.push_back({loop.show, message, 0, 0});
}

// From the show stepping down for a box of its own until the keyboard comes back:
// the keyboard leaving is the box taking it.
bool keyboardToBox = false;

void keymap(void*, wl_keyboard*, std::uint32_t, std::int32_t fd, std::uint32_t) { close(fd); }
void keyboardEnter(void*, wl_keyboard*, std::uint32_t, wl_surface* surface, wl_array*) {
    if (surfaceOf(surface)) keyboardToBox = false;
}
// Another client taking the keyboard from the show is a lock screen (an overlay that
// takes it, the input inhibitor, a session lock) or something else the user must
// see: the shows end with 0, as input ends them, so that nothing stays hidden
// under them. A box of the show's own is no reason.
void keyboardLeave(void*, wl_keyboard*, std::uint32_t, wl_surface* surface) {
    if (takesInput() && surfaceOf(surface) && !keyboardToBox && holdsTheKeyboard()) requestStop();
}
void key(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t state) {
    if (state == WL_KEYBOARD_KEY_STATE_PRESSED) queueInput(msg::keyDown);
}
void modifiers(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
void repeatInfo(void*, wl_keyboard*, std::int32_t, std::int32_t) {}
const wl_keyboard_listener keyboardListener = {keymap, keyboardEnter, keyboardLeave, key, modifiers, repeatInfo};

void pointerMovedTo(wl_fixed_t x, wl_fixed_t y) {
    travel.reported = {travel.base.x + static_cast<std::int32_t>(std::lround(wl_fixed_to_double(x) - travel.enteredX)),
                       travel.base.y + static_cast<std::int32_t>(std::lround(wl_fixed_to_double(y) - travel.enteredY))};
}

void pointerEnter(void*, wl_pointer* p, std::uint32_t serial, wl_surface* surface, wl_fixed_t x, wl_fixed_t y) {
    // No cursor over the full-screen show; a window keeps the compositor's.
    if (takesInput() && surfaceOf(surface)) wl_pointer_set_cursor(p, serial, nullptr, 0, 0);
    travel.base = travel.reported;
    travel.enteredX = wl_fixed_to_double(x);
    travel.enteredY = wl_fixed_to_double(y);
}
void pointerLeave(void*, wl_pointer*, std::uint32_t, wl_surface*) {}
void motion(void*, wl_pointer*, std::uint32_t, wl_fixed_t x, wl_fixed_t y) {
    pointerMovedTo(x, y);
    queueInput(msg::mouseMove);
}
void button(void*, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t code, std::uint32_t state) {
    if (state != WL_POINTER_BUTTON_STATE_PRESSED) return;
    // Other buttons end nothing, as the wheel does not: the same as the other systems.
    const MessageId message = code == buttonLeft    ? msg::lButtonDown
                              : code == buttonRight ? msg::rButtonDown
                              : code == buttonMiddle ? msg::mButtonDown
                                                     : 0;
    if (message) queueInput(message);
}
void axis(void*, wl_pointer*, std::uint32_t, std::uint32_t, wl_fixed_t) {}
void frame(void*, wl_pointer*) {}
void axisSource(void*, wl_pointer*, std::uint32_t) {}
void axisStop(void*, wl_pointer*, std::uint32_t, std::uint32_t) {}
void axisDiscrete(void*, wl_pointer*, std::uint32_t, std::int32_t) {}
void axisValue120(void*, wl_pointer*, std::uint32_t, std::int32_t) {}
const wl_pointer_listener pointerListener = {pointerEnter, pointerLeave, motion,       button,      axis,
                                             frame,        axisSource,   axisStop,     axisDiscrete, axisValue120};

// Devices come and go (a virtual keyboard for one command, a pointer plugged in):
// each time the seat gains one the show listens to it anew.
void capabilities(void*, wl_seat* seat, std::uint32_t caps) {
    const bool canRelease = wl_seat_get_version(seat) >= WL_KEYBOARD_RELEASE_SINCE_VERSION;
    if ((caps & WL_SEAT_CAPABILITY_KEYBOARD) && !keyboard) {
        keyboard = wl_seat_get_keyboard(seat);
        wl_keyboard_add_listener(keyboard, &keyboardListener, nullptr);
    } else if (!(caps & WL_SEAT_CAPABILITY_KEYBOARD) && keyboard) {
        canRelease ? wl_keyboard_release(keyboard) : wl_keyboard_destroy(keyboard);
        keyboard = nullptr;
    }
    if ((caps & WL_SEAT_CAPABILITY_POINTER) && !pointer) {
        pointer = wl_seat_get_pointer(seat);
        wl_pointer_add_listener(pointer, &pointerListener, nullptr);
    } else if (!(caps & WL_SEAT_CAPABILITY_POINTER) && pointer) {
        canRelease ? wl_pointer_release(pointer) : wl_pointer_destroy(pointer);
        pointer = nullptr;
    }
}
void seatName(void*, wl_seat*, const char*) {}
const wl_seat_listener seatListener = {capabilities, seatName};

}  // namespace

void bindSeat(wl_seat* seat) { wl_seat_add_listener(seat, &seatListener, nullptr); }

void releaseSeat() {
    wl_seat* seat = globals().seat;
    if (!seat) return;
    capabilities(nullptr, seat, 0);
    if (wl_seat_get_version(seat) >= WL_SEAT_RELEASE_SINCE_VERSION) {
        wl_seat_release(seat);
    } else {
        wl_seat_destroy(seat);
    }
}

ScreenPoint pointerPosition() { return travel.reported; }

void stopOnWaitingInput() {
    // The compositor gone, or the show's surface or window taken away, ends the
    // show in any form: nothing loaded could be shown any more.
    const auto closing = [](const PostedMessage& m) { return m.message == msg::close; };
    if (!pumpEvents() || surfaceLost() || std::any_of(loop.posted.begin(), loop.posted.end(), closing)) {
        requestStop();
        return;
    }
    if (!takesInput()) return;
    for (const PostedMessage& m : loop.input)
        if (m.message == msg::keyDown || m.message == msg::lButtonDown || m.message == msg::rButtonDown ||
            m.message == msg::mButtonDown)
            requestStop();
}

EventLoop& eventLoop() { return loop; }

bool surfaceLost() { return loop.surfaceClosed || globals().connectionLost; }

bool ended() { return loop.ended(surfaceLost()); }

bool handleOne() {
    if (ended()) return false;
    for (std::deque<PostedMessage>* queue : {&loop.posted, &loop.input}) {
        if (queue->empty()) continue;
        const PostedMessage m = queue->front();
        queue->pop_front();
        if (!loop.destroyed && m.window == loop.show) dispatch(m.window, m.message, m.wParam, m.lParam);
        return true;
    }
    if (!pumpEvents()) return false;
    if (!loop.input.empty() || !loop.posted.empty()) return true;
    applyPendingResizes();
    if (loop.destroyed) return false;
    return loop.runDueTick(loop.show);
}

namespace {

// The surfaces stay until the connection closes, right after the loop ends: the
// slideshow still holds the canvas of the show's surface until then.
void destroyShowWindow(WindowHandle window) {
    if (loop.destroyed) return;
    dispatch(window, msg::destroy, 0, 0);
    loop.destroyed = true;
}

bool keepDialogOpen() {
    while (handleOne()) {
    }
    return !ended();
}

class WaylandWindows : public QueuedWindowServices {
public:
    WaylandWindows() : QueuedWindowServices(loop) {}
    Canvas* deviceContext(WindowHandle) override {
        ShowSurface* s = showSurface();
        return s ? s->canvas.get() : nullptr;
    }
    void messageBox(WindowHandle, const std::string& text, const std::string& caption) override {
        if (ended()) return;
        // An overlay covers every window: the show steps below them while the box is open.
        if (loop.fullScreen && !loop.destroyed) {
            keyboardToBox = true;
            stepDown(true);
        }
        // The settings file's box names the file in the file-name encoding.
        runMessageDialog(text::shownFromGbk(text), text::shownCaption(localPath(caption)), keepDialogOpen);
        if (loop.fullScreen && !loop.destroyed && !ended()) stepDown(false);
    }
    MessageResult defaultProc(WindowHandle window, MessageId message, WParam, LParam) override {
        if (message == msg::close) destroyShowWindow(window);
        if (message == msg::paint) {
            if (ShowSurface* s = showSurface(); s && s->canvas) s->canvas->repaint();
        }
        return 0;
    }
};

}  // namespace

WindowServices& windowServices() {
    static WaylandWindows windows;
    return windows;
}

}  // namespace vellora::linux_platform::wayland
