#include "platform/test/test_platform.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "effects/pacing.h"
#include "platform/decoding/colour_profile.h"
#include "platform/decoding/decode.h"
#include "shell/shell.h"
#include "slideshow/random.h"
#include "slideshow/slide_state.h"

namespace vellora::test {
namespace {

std::string join(const char* name, std::initializer_list<long long> values) {
    std::string line = name;
    for (long long v : values) line += " " + std::to_string(v);
    return line;
}

class MemoryOutput : public OutputFile {
public:
    MemoryOutput(MemoryFiles& owner, std::string path) : owner_(owner), path_(std::move(path)) {}
    bool write(const char* data, std::size_t size) override {
        std::string& file = owner_.files[path_];
        if (owner_.faults.failsNow(OutputStep::write)) {
            file.append(data, size / 2);
            return false;
        }
        if (file.size() + size > owner_.failWritesAfter) return false;
        file.append(data, size);
        return true;
    }
    bool flush() override { return !owner_.faults.failsNow(OutputStep::flush) && !owner_.failFlush; }
    bool close() override { return !owner_.faults.failsNow(OutputStep::close) && !owner_.failClose; }

private:
    MemoryFiles& owner_;
    std::string path_;
};

class DiskInput : public InputFile {
public:
    explicit DiskInput(std::FILE* f) : f_(f) {}
    ~DiskInput() override { std::fclose(f_); }
    std::size_t read(char* buffer, std::size_t size) override { return std::fread(buffer, 1, size, f_); }

private:
    std::FILE* f_;
};

class DiskOutput : public OutputFile {
public:
    explicit DiskOutput(std::FILE* f) : f_(f) {}
    ~DiskOutput() override {
        if (f_) std::fclose(f_);
    }
    bool write(const char* data, std::size_t size) override { return std::fwrite(data, 1, size, f_) == size; }
    bool flush() override { return std::fflush(f_) == 0; }
    bool close() override {
        bool ok = std::fclose(f_) == 0;
        f_ = nullptr;
        return ok;
    }

private:
    std::FILE* f_;
};

}  // namespace

TestPicture::TestPicture(Image image)
    : TestPicture(image, himetricFromPixels(image.width), himetricFromPixels(image.height)) {}

TestPicture::TestPicture(Image image, std::int32_t widthHimetric, std::int32_t heightHimetric)
    : image_(std::move(image)), width_(widthHimetric), height_(heightHimetric) {}

Image patternImage(std::int32_t width, std::int32_t height) {
    Image image{width, height, std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height)};
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x)
            // Never black, so a painted pixel always differs from the background.
            image.pixels[static_cast<std::size_t>(y) * width + x] = 0x800000u | ((x & 0x7FF) << 11) | (y & 0x7FF);
    return image;
}

TestCanvas::TestCanvas(CallLog& log, DeviceMetrics metrics, bool withSurface) : log_(log), metrics_(metrics) {
    if (!withSurface) return;
    surface_.width = std::max(metrics.horzRes, 0);
    surface_.height = std::max(metrics.vertRes, 0);
    surface_.pixels.assign(static_cast<std::size_t>(surface_.width) * surface_.height, black);
}

SurfaceView TestCanvas::view() { return {surface_.pixels.data(), surface_.width, surface_.height}; }

void TestCanvas::paint(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                       std::uint32_t colour) {
    fillPixels(view(), left, top, right, bottom, colour);
}

void TestCanvas::fillBlack(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
    log_.push_back(join("fill", {left, top, right, bottom}));
    paint(left, top, right, bottom, black);
}

void TestCanvas::render(const Picture& picture, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy,
                        std::int32_t xSrc, std::int32_t ySrc, std::int32_t cxSrc, std::int32_t cySrc) {
    log_.push_back(join("render", {x, y, cx, cy, xSrc, ySrc, cxSrc, cySrc}));
    const auto& p = static_cast<const TestPicture&>(picture);
    const Image& img = p.image();
    const SourcePixels source{img.pixels.data(), img.width, img.height, p.widthHimetric(), p.heightHimetric()};
    renderPicture(view(), source, x, y, cx, cy, xSrc, ySrc, cxSrc, cySrc);
}

void TestCanvas::selectBlackBrush() {
    log_.push_back("select black-brush");
    brushSelected_ = true;
}

void TestCanvas::pie(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, std::int32_t x1,
                     std::int32_t y1, std::int32_t x2, std::int32_t y2) {
    log_.push_back(join("pie", {left, top, right, bottom, x1, y1, x2, y2}));
    piePixels(view(), left, top, right, bottom, x1, y1, x2, y2, brushSelected_ ? black : 0xFFFFFF);
}

std::unique_ptr<InputFile> MemoryFiles::openForReading(const std::string& path) {
    auto it = files.find(path);
    if (it == files.end() || unreadable.count(path)) return nullptr;
    return std::make_unique<MemoryInputFile>(it->second);
}

std::unique_ptr<OutputFile> MemoryFiles::createForWriting(const std::string& path) {
    if (faults.failsNow(OutputStep::create) || uncreatable.count(path) || readOnly.count(path)) return nullptr;
    files[path].clear();
    return std::make_unique<MemoryOutput>(*this, path);
}

bool MemoryFiles::replaceFile(const std::string& from, const std::string& to) {
    auto it = files.find(from);
    if (faults.failsNow(OutputStep::replace) || failReplace || it == files.end()) return false;
    files[to] = it->second;
    files.erase(from);
    return true;
}

bool MemoryFiles::removeFile(const std::string& path) {
    readOnly.erase(path);
    return files.erase(path) > 0;
}

namespace {
// Paths made for the target join with backslashes; on this disk they are slashes.
std::string local(const std::string& path) {
    std::string out = path;
    std::replace(out.begin(), out.end(), '\\', '/');
    return out;
}
}  // namespace

std::unique_ptr<InputFile> DiskFiles::openForReading(const std::string& path) {
    std::FILE* f = std::fopen(local(path).c_str(), "rb");
    if (!f) return nullptr;
    return std::make_unique<DiskInput>(f);
}

std::unique_ptr<OutputFile> DiskFiles::createForWriting(const std::string& path) {
    std::FILE* f = std::fopen(local(path).c_str(), "wb");
    if (!f) return nullptr;
    return std::make_unique<DiskOutput>(f);
}

bool DiskFiles::replaceFile(const std::string& from, const std::string& to) {
    std::error_code error;
    std::filesystem::rename(local(from), local(to), error);
    return !error;
}

bool DiskFiles::removeFile(const std::string& path) { return std::remove(local(path).c_str()) == 0; }

TestPlatform::TestPlatform(DeviceMetrics metrics, Files* files, bool withSurface)
    : files_(files ? files : &memory_), canvas_(log, metrics, withSurface) {}

TestPlatform::~TestPlatform() {
    if (platform().clock == this) installPlatform({});
}

void TestPlatform::install() {
    installPlatform({this, files_, this, this});
    installShellServices(&shell);
    installDialogServices(&dialog);
    dialog.reset();
    resetSlideState();
    resetShellState();
    seedRandom(1);
    setPacedTransitions(false);
}

Canvas* TestPlatform::deviceContext(WindowHandle) { return &canvas_; }

std::uintptr_t TestPlatform::setTimer(WindowHandle, std::uintptr_t id, std::uint32_t periodMs) {
    log.push_back(join("settimer", {static_cast<long long>(id), periodMs}));
    return nextTimerValue;
}

void TestPlatform::killTimer(WindowHandle, std::uintptr_t id) {
    log.push_back(join("killtimer", {static_cast<long long>(id)}));
}

void TestPlatform::postQuit(int exitCode) { log.push_back(join("quit", {exitCode})); }

void TestPlatform::messageBox(WindowHandle, const std::string& text, const std::string& caption) {
    log.push_back("messagebox " + text + "|" + caption);
    if (duringMessageBox) duringMessageBox();
}

MessageResult TestPlatform::defaultProc(WindowHandle, MessageId message, WParam wParam, LParam lParam) {
    log.push_back(join("default", {message, static_cast<long long>(wParam), lParam}));
    return 0;
}

std::unique_ptr<Picture> TestPlatform::loadPictureFile(const std::string& path) {
    std::unique_ptr<InputFile> file = files_->openForReading(path);
    if (!file) return nullptr;
    std::string bytes;
    char buffer[65536];
    while (std::size_t n = file->read(buffer, sizeof buffer)) bytes.append(buffer, n);
    std::optional<linux_platform::DecodedImage> decoded =
        linux_platform::decodePicture(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    if (!decoded) return nullptr;
    linux_platform::convertToSrgb(*decoded);
    return std::make_unique<TestPicture>(Image{decoded->width, decoded->height, std::move(decoded->pixels)});
}

void TestPlatform::sleep(std::uint32_t milliseconds) {
    log.push_back(join("pause", {milliseconds}));
}

}  // namespace vellora::test
