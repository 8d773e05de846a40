#include "platform/test/test_platform.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "shell/shell.h"
#include "slideshow/random.h"
#include "slideshow/slide_state.h"
#include "effects/pacing.h"

namespace vellora::test {
namespace {

std::string join(const char* name, std::initializer_list<long long> values) {
    std::string line = name;
    for (long long v : values) line += " " + std::to_string(v);
    return line;
}

// Clips [from, to) to [0, limit).
void clip(std::int64_t& from, std::int64_t& to, std::int64_t limit) {
    from = std::max<std::int64_t>(from, 0);
    to = std::min<std::int64_t>(to, limit);
}

class MemoryInput : public InputFile {
public:
    explicit MemoryInput(std::string bytes) : bytes_(std::move(bytes)) {}
    std::size_t read(char* buffer, std::size_t size) override {
        std::size_t n = std::min(size, bytes_.size() - pos_);
        std::copy_n(bytes_.data() + pos_, n, buffer);
        pos_ += n;
        return n;
    }

private:
    std::string bytes_;
    std::size_t pos_ = 0;
};

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

std::int32_t himetricFromPixels(std::int32_t pixels) {
    return static_cast<std::int32_t>((static_cast<std::int64_t>(pixels) * 2540 + 48) / 96);
}

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

void TestCanvas::paint(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                       std::uint32_t colour) {
    std::int64_t l = left, r = right, t = top, b = bottom;
    clip(l, r, surface_.width);
    clip(t, b, surface_.height);
    for (std::int64_t y = t; y < b; ++y)
        for (std::int64_t x = l; x < r; ++x) surface_.pixels[static_cast<std::size_t>(y * surface_.width + x)] = colour;
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
    const double pw = p.widthHimetric(), ph = p.heightHimetric();
    if (cx <= 0 || cy <= 0 || pw <= 0 || ph <= 0 || img.width == 0 || img.height == 0) return;

    std::int64_t x0 = x, x1 = static_cast<std::int64_t>(x) + cx, y0 = y, y1 = static_cast<std::int64_t>(y) + cy;
    clip(x0, x1, surface_.width);
    clip(y0, y1, surface_.height);
    std::vector<std::int64_t> column(static_cast<std::size_t>(std::max<std::int64_t>(x1 - x0, 0)));
    for (std::int64_t sx = x0; sx < x1; ++sx) {
        double himetric = xSrc + cxSrc * ((sx - x + 0.5) / cx);
        column[static_cast<std::size_t>(sx - x0)] = static_cast<std::int64_t>(std::floor(himetric * img.width / pw));
    }
    for (std::int64_t sy = y0; sy < y1; ++sy) {
        double fromBottom = ySrc + cySrc * ((sy - y + 0.5) / cy);
        auto row = static_cast<std::int64_t>(std::floor((ph - fromBottom) * img.height / ph));
        if (row < 0 || row >= img.height) continue;
        for (std::int64_t sx = x0; sx < x1; ++sx) {
            std::int64_t col = column[static_cast<std::size_t>(sx - x0)];
            if (col < 0 || col >= img.width) continue;
            surface_.pixels[static_cast<std::size_t>(sy * surface_.width + sx)] =
                img.at(static_cast<std::int32_t>(col), static_cast<std::int32_t>(row));
        }
    }
}

void TestCanvas::selectBlackBrush() {
    log_.push_back("select black-brush");
    brushSelected_ = true;
}

void TestCanvas::pie(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, std::int32_t x1,
                     std::int32_t y1, std::int32_t x2, std::int32_t y2) {
    log_.push_back(join("pie", {left, top, right, bottom, x1, y1, x2, y2}));
    // Equal radial points make a whole ellipse: paint the pixels whose centres lie in
    // the ellipse inscribed in the box, or on its one-pixel outline.
    const double cxm = (static_cast<double>(left) + right) / 2, cym = (static_cast<double>(top) + bottom) / 2;
    const double rx = (static_cast<double>(right) - left) / 2, ry = (static_cast<double>(bottom) - top) / 2;
    if (rx <= 0 || ry <= 0) return;
    const std::uint32_t colour = brushSelected_ ? black : 0xFFFFFF;
    std::int64_t l = left, r = right, t = top, b = bottom;
    clip(l, r, surface_.width);
    clip(t, b, surface_.height);
    for (std::int64_t py = t; py < b; ++py)
        for (std::int64_t px = l; px < r; ++px) {
            double dx = (px + 0.5 - cxm) / rx, dy = (py + 0.5 - cym) / ry;
            if (dx * dx + dy * dy <= 1.0) surface_.pixels[static_cast<std::size_t>(py * surface_.width + px)] = colour;
        }
}

std::unique_ptr<InputFile> MemoryFiles::openForReading(const std::string& path) {
    auto it = files.find(path);
    if (it == files.end() || unreadable.count(path)) return nullptr;
    return std::make_unique<MemoryInput>(it->second);
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
    std::optional<Image> image = decodeBmp(bytes);
    if (!image) return nullptr;
    return std::make_unique<TestPicture>(std::move(*image));
}

void TestPlatform::sleep(std::uint32_t milliseconds) {
    log.push_back(join("pause", {milliseconds}));
}

}  // namespace vellora::test
