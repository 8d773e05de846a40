// Internal to the native Linux program: what every display system shares. No
// display-system header is included here or in the files that implement it.
//
// Contract: the services below are the platform seam's files, pictures and clock,
// and the process's stop request. Each display system (platform/x11/,
// platform/wayland/) adds its own window and shell services and installs the whole
// platform with installLinuxPlatform. Paths are the file system's bytes.
#pragma once

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
// The same request from the program itself; safe in a signal handler.
void requestStop();
// A descriptor that becomes readable when a stop is requested, for poll().
int stopWakeDescriptor();

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
// The dialog services of a show: the show has no dialog of its own.
DialogServices& noDialog();

// Installs the shared services with a display system's window and shell services.
void installLinuxPlatform(WindowServices& windows, ShellServices& shell);

// The folder that stands in for the Windows directory: $XDG_CONFIG_HOME/vellora,
// by default ~/.config/vellora.
std::string configDirectory();
// A path as this system spells it: the stand-in folder's backslash becomes a slash.
std::string localPath(const std::string& path);

// The show of this run reads these bytes as its settings file, which stays as it is
// on the disk; the dialog never sees them.
void useSettingsForThisRun(std::string fileBytes);

// For --upright: JPEG photos are turned by their EXIF orientation.
void setTurnPhotosUpright(bool on);

// Called about every 50 ms while the decoder process decodes a picture, so that
// the display system can look for input that ends its full-screen show (a key, a
// mouse button) and request a stop: the show then ends at once, not after the
// picture. Null, the default, looks for nothing.
void setInputCheckWhileLoading(void (*check)());

}  // namespace vellora::linux_platform
