// Internal to the X11 platform: the display connection, the stop request, and
// the services each file of this folder provides to the others.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/dialog_services.h"
#include "platform/platform.h"
#include "platform/shell_services.h"

namespace vellora::linux_platform {

// Set by SIGTERM and SIGINT: from then on nothing is drawn, pauses end at once and
// the event loop ends the process with 0.
bool stopRequested();
void installStopSignals();
// A descriptor that becomes readable when a stop is requested, for poll().
int stopWakeDescriptor();

// The process's one display connection and what the program learned about it.
struct X11Session {
    Display* display = nullptr;
    int screen = 0;
    Atom deleteWindow = 0;
    Atom protocols = 0;
    // Set by the error handler when the show window or a drawable of it vanished.
    bool windowGone = false;
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
};
std::unique_ptr<WindowCanvas> makeWindowCanvas(Window window, std::int32_t width, std::int32_t height,
                                               bool physicalFromScreen);

// Pixels per millimetre as the X screen reports them.
DeviceMetrics screenMetrics();

// A decoded picture: its pixels and its natural size.
class PixelPicture : public Picture {
public:
    // `storageHome`, when given, takes the pixel storage back when the picture goes,
    // so the next picture can be decoded into it.
    PixelPicture(std::int32_t width, std::int32_t height, std::vector<std::uint32_t> pixels,
                 std::vector<std::uint32_t>* storageHome = nullptr);
    // Pixels that live elsewhere and stay there until `whenGone` runs, as the picture goes.
    PixelPicture(std::int32_t width, std::int32_t height, const std::uint32_t* pixels, std::function<void()> whenGone);
    ~PixelPicture() override;
    std::int32_t widthHimetric() const override { return widthHimetric_; }
    std::int32_t heightHimetric() const override { return heightHimetric_; }
    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }
    const std::uint32_t* pixels() const { return view_; }

private:
    std::int32_t width_, height_, widthHimetric_, heightHimetric_;
    std::vector<std::uint32_t> pixels_;
    std::vector<std::uint32_t>* storageHome_ = nullptr;
    const std::uint32_t* view_;
    std::function<void()> whenGone_;
};

PictureLoader& pictureLoader();
Files& files();
Clock& clock();
WindowServices& windowServices();
ShellServices& shell();
DialogServices& dialog();

// The folder that stands in for the Windows directory: $XDG_CONFIG_HOME/vellora,
// by default ~/.config/vellora.
std::string configDirectory();
// A path as this system spells it: the stand-in folder's backslash becomes a slash.
std::string localPath(const std::string& path);

// A modal message dialog with an OK button; `whileOpen` runs every few
// milliseconds and closes the dialog when it returns false.
void runMessageDialog(const std::string& textUtf8, const std::string& captionUtf8, bool (*whileOpen)());

// Creates the ordinary window for trying the show out; closing it ends the show.
Window createOwnWindow();

void installLinuxPlatform();

// The show of this run reads these bytes as its settings file, which stays as it is
// on the disk; the dialog never sees them.
void useSettingsForThisRun(std::string fileBytes);

// For --upright: JPEG photos are turned by their EXIF orientation.
void setTurnPhotosUpright(bool on);

}  // namespace vellora::linux_platform
