// The platform seam: everything the portable core asks of an operating system.
//
// Contract:
// - The core never includes an OS header; it reaches the OS only through the
//   interfaces below. Each platform (win32, test, later linux) implements them
//   in its own folder and installs one Platform with installPlatform() before
//   the core runs.
// - Coordinates are window pixels, origin at the window's top-left corner, y
//   downward; rectangles are left, top, exclusive right, exclusive bottom.
// - Picture sizes and source rectangles are HIMETRIC (0.01 mm). A source y is
//   measured upward from the picture's bottom edge; a negative source height
//   copies the band top-down.
// - Text and paths are byte strings in the system ANSI code page, never converted.
// - A Picture may stand for another one, as a view of it at a different natural
//   size. It then overrides renderTo to map the source rectangle into the other
//   picture's HIMETRIC units and hand the call on, so that Canvas::render only
//   ever receives pictures that the platform's own PictureLoader made. The core
//   draws through Picture::renderTo, never through Canvas::render directly.
// - Ownership: a Picture belongs to whoever holds the unique_ptr; a Canvas
//   belongs to the platform and lives as long as its window; files close when
//   their object is destroyed.
// - Nothing here throws. Failures are reported through return values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vellora {

using WindowHandle = std::uintptr_t;  // opaque; 0 is "no window"
using MessageId = std::uint32_t;
using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using MessageResult = std::intptr_t;

class Canvas;

// A decoded picture: its natural size, and whatever the platform needs to draw it.
class Picture {
public:
    virtual ~Picture() = default;
    virtual std::int32_t widthHimetric() const = 0;
    virtual std::int32_t heightHimetric() const = 0;
    // Draws the source part (in this picture's HIMETRIC units) through the canvas;
    // a platform's own picture hands itself to Canvas::render unchanged.
    virtual void renderTo(Canvas& canvas, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy,
                          std::int32_t xSrc, std::int32_t ySrc, std::int32_t cxSrc, std::int32_t cySrc) const;
};

// The display as the device context reports it.
struct DeviceMetrics {
    std::int32_t horzRes = 0;   // pixels
    std::int32_t vertRes = 0;
    std::int32_t horzSize = 0;  // millimetres
    std::int32_t vertSize = 0;
};

// A window's own device context: what the transitions draw with.
// Drawing outside the window is clipped away; empty or inverted rectangles paint nothing.
class Canvas {
public:
    virtual ~Canvas() = default;
    virtual DeviceMetrics metrics() = 0;
    // Fills with the stock black brush, fetched anew for each fill.
    virtual void fillBlack(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) = 0;
    // Draws a picture made by this platform's PictureLoader; the source part is
    // scaled to fill the destination.
    virtual void render(const Picture& picture, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy,
                        std::int32_t xSrc, std::int32_t ySrc, std::int32_t cxSrc, std::int32_t cySrc) = 0;
    // Selects the stock black brush; it stays selected.
    virtual void selectBlackBrush() = 0;
    // A pie with the selected brush and the context's pen.
    virtual void pie(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                     std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) = 0;
};

inline void Picture::renderTo(Canvas& canvas, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy,
                              std::int32_t xSrc, std::int32_t ySrc, std::int32_t cxSrc, std::int32_t cySrc) const {
    canvas.render(*this, x, y, cx, cy, xSrc, ySrc, cxSrc, cySrc);
}

// A file open for reading, in binary; the core does its own text-mode reading.
class InputFile {
public:
    virtual ~InputFile() = default;
    // Reads up to size bytes; returns how many, 0 at the end or on an error.
    virtual std::size_t read(char* buffer, std::size_t size) = 0;
};

// Bytes the platform already holds, read as a file.
class MemoryInputFile : public InputFile {
public:
    explicit MemoryInputFile(std::string bytes) : bytes_(std::move(bytes)) {}
    std::size_t read(char* buffer, std::size_t size) override;

private:
    std::string bytes_;
    std::size_t pos_ = 0;
};

// A file open for writing, in binary. Every call reports whether it worked.
class OutputFile {
public:
    virtual ~OutputFile() = default;
    virtual bool write(const char* data, std::size_t size) = 0;
    virtual bool flush() = 0;
    // Closes the file; false when the data may not all have reached it.
    virtual bool close() = 0;
};

class Files {
public:
    virtual ~Files() = default;
    virtual std::unique_ptr<InputFile> openForReading(const std::string& path) = 0;
    // Creates the file or truncates it to empty.
    virtual std::unique_ptr<OutputFile> createForWriting(const std::string& path) = 0;
    // Puts `from` in the place of `to` in one step; on failure both stay as they were.
    virtual bool replaceFile(const std::string& from, const std::string& to) = 0;
    // Removes the file, also when it is marked read-only.
    virtual bool removeFile(const std::string& path) = 0;
    // The Windows directory, or the platform's fixed system-wide stand-in for it.
    virtual std::string windowsDirectory() = 0;
    // The longest path the system takes, in bytes, and so the longest line of the
    // settings file and the image list; Windows paths live in 260-byte buffers.
    virtual std::size_t longestPathBytes() { return 259; }
};

class PictureLoader {
public:
    virtual ~PictureLoader() = default;
    // Reads the whole file and decodes it; nothing when any step fails.
    virtual std::unique_ptr<Picture> loadPictureFile(const std::string& path) = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    // Waits about `milliseconds`; 0 only yields the rest of the time slice.
    virtual void sleep(std::uint32_t milliseconds) = 0;
    virtual std::int64_t calendarSeconds() = 0;  // time(NULL)
    virtual std::uint32_t tickCount() = 0;       // milliseconds, wrapping
};

// Window services the slideshow controller needs.
class WindowServices {
public:
    virtual ~WindowServices() = default;
    // The window's own device context, obtained once and never released.
    virtual Canvas* deviceContext(WindowHandle window) = 0;
    // Starts or restarts a window timer; returns the platform's timer value, 0 on refusal.
    virtual std::uintptr_t setTimer(WindowHandle window, std::uintptr_t id, std::uint32_t periodMs) = 0;
    virtual void killTimer(WindowHandle window, std::uintptr_t id) = 0;
    virtual void postQuit(int exitCode) = 0;
    // A modal box with an OK button only; the window keeps receiving messages meanwhile.
    virtual void messageBox(WindowHandle owner, const std::string& text, const std::string& caption) = 0;
    // The platform's default window procedure.
    virtual MessageResult defaultProc(WindowHandle window, MessageId message, WParam wParam, LParam lParam) = 0;
};

// Pictures that a platform finds itself, such as every picture under a folder. The
// picture source asks it before reading a source as an image list file; a platform
// without one shows image lists only.
class PictureCatalogue {
public:
    virtual ~PictureCatalogue() = default;
    // True when the source is one of the catalogue's own; it may wait for the first
    // picture. False leaves the source to be read as an image list file.
    virtual bool takes(const std::string& source) = 0;
    // The entries known now, numbered from 0; the number may grow while the show runs.
    virtual std::int32_t count() = 0;
    // The path of an entry; empty when there is no such entry.
    virtual std::string entry(std::int32_t index) = 0;
    // The entry to show next when the catalogue keeps an order of its own; -1 leaves
    // the choice to the show's list or random order.
    virtual std::int32_t chooseNext() = 0;
    // The entry last chosen has been loaded and is about to be shown; an order of the
    // catalogue's own may count a choice as taken only then.
    virtual void loaded(std::int32_t) {}
};

struct Platform {
    WindowServices* windows = nullptr;
    Files* files = nullptr;
    PictureLoader* pictures = nullptr;
    Clock* clock = nullptr;
    PictureCatalogue* catalogue = nullptr;
};

// The process's binding to its operating system, set once at start-up (tests set
// it per test). It is the seam itself, so it is process-wide like the OS it stands for.
void installPlatform(const Platform& platform);
const Platform& platform();

}  // namespace vellora
