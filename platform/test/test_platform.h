// The test platform: every platform call is recorded in order, drawing lands in an
// in-memory surface of the device's size, pauses return at once, the clock is
// set by hand, and files live in memory with failures that a test can switch on.
//
// Recorded lines (one string per call, integers in decimal):
//   fill L T R B | render X Y CX CY XSRC YSRC CXSRC CYSRC | pause N |
//   pie L T R B X1 Y1 X2 Y2 | select black-brush | messagebox TEXT|CAPTION |
//   settimer ID PERIOD | killtimer ID | quit CODE | default MSG WPARAM LPARAM
//
// render maps the destination with nearest-neighbour sampling at pixel centres.
// Source pixels outside the picture are transparent: the surface keeps what it
// had there. Nothing is drawn for an empty destination or an empty picture.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/test/bmp.h"
#include "platform/test/test_dialog.h"
#include "platform/test/test_shell.h"

namespace vellora::test {

inline constexpr std::uint32_t black = 0x000000;

std::int32_t himetricFromPixels(std::int32_t pixels);  // pixels × 2540 / 96, rounded

class TestPicture : public Picture {
public:
    explicit TestPicture(Image image);
    TestPicture(Image image, std::int32_t widthHimetric, std::int32_t heightHimetric);
    std::int32_t widthHimetric() const override { return width_; }
    std::int32_t heightHimetric() const override { return height_; }
    const Image& image() const { return image_; }

private:
    Image image_;
    std::int32_t width_;
    std::int32_t height_;
};

// A picture whose pixel (x, y) has a colour that names its place.
Image patternImage(std::int32_t width, std::int32_t height);

using CallLog = std::vector<std::string>;

class TestCanvas : public Canvas {
public:
    // Without a surface the canvas only records (for devices too large to paint).
    TestCanvas(CallLog& log, DeviceMetrics metrics, bool withSurface = true);
    DeviceMetrics metrics() override { return metrics_; }
    void fillBlack(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) override;
    void render(const Picture& picture, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy,
                std::int32_t xSrc, std::int32_t ySrc, std::int32_t cxSrc, std::int32_t cySrc) override;
    void selectBlackBrush() override;
    void pie(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, std::int32_t x1,
             std::int32_t y1, std::int32_t x2, std::int32_t y2) override;

    Image& surface() { return surface_; }
    void paint(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, std::uint32_t colour);

private:
    CallLog& log_;
    DeviceMetrics metrics_;
    Image surface_;
    bool brushSelected_ = false;
};

// One kind of call in writing a file, for tests that fail each call in turn.
enum class OutputStep { create, write, flush, close, replace };
inline constexpr int outputStepCount = 5;

struct OutputFault {
    OutputStep step;
    int number;  // which call of that kind fails, counting from 1
};

// Counts the calls of each kind and says whether this one is the call to fail.
class FaultCounter {
public:
    std::optional<OutputFault> fault;
    bool failsNow(OutputStep step) {
        const int number = ++calls_[static_cast<int>(step)];
        return fault && fault->step == step && fault->number == number;
    }

private:
    int calls_[outputStepCount] = {};
};

// Files in memory, with failures a test can ask for.
class MemoryFiles : public Files {
public:
    std::unique_ptr<InputFile> openForReading(const std::string& path) override;
    std::unique_ptr<OutputFile> createForWriting(const std::string& path) override;
    bool replaceFile(const std::string& from, const std::string& to) override;
    bool removeFile(const std::string& path) override;
    std::string windowsDirectory() override { return windowsDir; }

    std::map<std::string, std::string> files;
    std::string windowsDir = "C:\\WINDOWS";
    std::set<std::string> unreadable;       // open for reading fails
    std::set<std::string> uncreatable;      // create for writing fails
    std::size_t failWritesAfter = SIZE_MAX;  // bytes accepted before writes fail
    bool failFlush = false;
    bool failClose = false;
    bool failReplace = false;
    // Fails one call alone; a failing write still stores its first half, as a
    // disk that fills up part-way does.
    FaultCounter faults;
};

// Files on the local disk, for the developer tools.
class DiskFiles : public Files {
public:
    explicit DiskFiles(std::string windowsDirectory = ".") : windowsDir_(std::move(windowsDirectory)) {}
    std::unique_ptr<InputFile> openForReading(const std::string& path) override;
    std::unique_ptr<OutputFile> createForWriting(const std::string& path) override;
    bool replaceFile(const std::string& from, const std::string& to) override;
    bool removeFile(const std::string& path) override;
    std::string windowsDirectory() override { return windowsDir_; }

private:
    std::string windowsDir_;
};

class TestPlatform : public WindowServices, public PictureLoader, public Clock {
public:
    explicit TestPlatform(DeviceMetrics metrics = {1024, 768, 320, 240}, Files* files = nullptr,
                          bool withSurface = true);
    ~TestPlatform() override;

    // Installs this platform and resets SlideState and the random generator.
    void install();

    // WindowServices
    Canvas* deviceContext(WindowHandle window) override;
    std::uintptr_t setTimer(WindowHandle window, std::uintptr_t id, std::uint32_t periodMs) override;
    void killTimer(WindowHandle window, std::uintptr_t id) override;
    void postQuit(int exitCode) override;
    void messageBox(WindowHandle owner, const std::string& text, const std::string& caption) override;
    MessageResult defaultProc(WindowHandle window, MessageId message, WParam wParam, LParam lParam) override;
    // PictureLoader: BMP, JPEG, PNG and GIF files from the installed Files, decoded as
    // the Linux program decodes them.
    std::unique_ptr<Picture> loadPictureFile(const std::string& path) override;
    // Clock
    void sleep(std::uint32_t milliseconds) override;
    std::int64_t calendarSeconds() override { return now; }
    std::uint32_t tickCount() override { return ticks; }

    Files& files() { return *files_; }
    MemoryFiles& memoryFiles() { return memory_; }
    TestCanvas& canvas() { return canvas_; }
    CallLog log;
    TestShell shell{log};
    TestDialog dialog{log};
    std::int64_t now = 1000000000;
    std::uint32_t ticks = 0;
    // Runs while a message box is open, as its modal loop would dispatch messages.
    std::function<void()> duringMessageBox;
    std::uintptr_t nextTimerValue = 1;

private:
    MemoryFiles memory_;
    Files* files_;
    TestCanvas canvas_;
};

}  // namespace vellora::test
