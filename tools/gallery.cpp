// vellora-gallery: renders the reveal and the clear of catalogue rows 2 to 19 on a
// picture, on the test platform, into animated GIFs for the README.
//
// A transition that pauses gets a frame after every few pauses, timed with the
// pauses it made; one that never pauses gets a frame every few draw calls at a
// fixed pace. Either way a transition has at most maxFrames frames between its
// first and its last picture, so the files stay small.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "effects/catalogue.h"
#include "platform/test/test_platform.h"
#include "slideshow/controller.h"
#include "slideshow/picture_source.h"
#include "slideshow/random.h"
#include "slideshow/slide_state.h"
#include "tools/gif.h"

using namespace vellora;

namespace {

// A small screen of about 2.8 pixels per millimetre: a 320 x 240 picture of 96
// dots per inch is drawn at 239 x 179 in its middle, with room for the moves.
constexpr DeviceMetrics screen{320, 240, 113, 85};
constexpr std::size_t maxFrames = 36;
constexpr std::size_t pictureColours = 62;  // plus black and the transparent index
constexpr std::uint16_t firstHoldCs = 60;
constexpr std::uint16_t lastHoldCs = 150;
constexpr std::uint16_t shortestFrameCs = 2;  // what browsers show as given
constexpr std::uint16_t unpacedFrameCs = 4;

enum class Kind { reveal, clear };

class GalleryPlatform : public test::TestPlatform {
public:
    explicit GalleryPlatform(Files* files) : TestPlatform(screen, files) {}
    std::function<void(std::uint32_t)> afterPause;
    void sleep(std::uint32_t milliseconds) override {
        TestPlatform::sleep(milliseconds);
        if (afterPause) afterPause(milliseconds);
    }
};

// The platform's canvas, with a word after every call that paints.
class WatchedCanvas : public Canvas {
public:
    WatchedCanvas(Canvas& inner, std::function<void()> afterDraw) : inner_(inner), afterDraw_(std::move(afterDraw)) {}
    DeviceMetrics metrics() override { return inner_.metrics(); }
    void fillBlack(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b) override {
        inner_.fillBlack(l, t, r, b);
        afterDraw_();
    }
    void render(const Picture& p, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy, std::int32_t xs,
                std::int32_t ys, std::int32_t cxs, std::int32_t cys) override {
        inner_.render(p, x, y, cx, cy, xs, ys, cxs, cys);
        afterDraw_();
    }
    void selectBlackBrush() override { inner_.selectBlackBrush(); }
    void pie(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b, std::int32_t x1, std::int32_t y1,
             std::int32_t x2, std::int32_t y2) override {
        inner_.pie(l, t, r, b, x1, y1, x2, y2);
        afterDraw_();
    }

private:
    Canvas& inner_;
    std::function<void()> afterDraw_;
};

struct Shot {
    test::Image image;
    std::uint16_t delayCs;
};

struct Pace {
    bool byPauses = false;       // frames follow pauses, else draw calls
    std::size_t pointsPerFrame = 1;
};

struct Counts {
    std::size_t pauses = 0;
    std::size_t draws = 0;
};

// Runs one transition the way a tick does; calls `atPoint` after every pause and
// every painting call with the pause's length (0 for a draw) and whether it was a pause.
void runTransition(Files& files, const std::string& picturePath, Kind kind, std::int32_t row, std::uint32_t seed,
                   const std::function<void(GalleryPlatform&, bool, std::uint32_t)>& atPoint,
                   test::Image* finalImage = nullptr, test::Image* firstImage = nullptr) {
    GalleryPlatform platform(&files);
    platform.install();
    std::unique_ptr<Picture> picture = platform.loadPictureFile(picturePath);
    bool running = false;
    WatchedCanvas canvas(platform.canvas(), [&] {
        if (running) atPoint(platform, false, 0);
    });
    platform.afterPause = [&](std::uint32_t ms) {
        if (running) atPoint(platform, true, ms);
    };
    SlideState& s = slideState();
    s.hdc = &canvas;
    measureDisplay(canvas);
    s.pictureWidth = picture->widthHimetric();
    s.pictureHeight = picture->heightHimetric();
    placePicture();
    // A clear blanks the picture that the previous tick left on the screen.
    if (kind == Kind::clear) fullDraw(*picture);
    if (firstImage) *firstImage = platform.canvas().surface();
    seedRandom(seed);
    running = true;
    const EffectEntry& entry = catalogueRow(row);
    if (kind == Kind::reveal)
        entry.reveal(*picture);
    else
        entry.clear();
    running = false;
    if (finalImage) *finalImage = platform.canvas().surface();
}

std::vector<Shot> capture(Files& files, const std::string& picturePath, Kind kind, std::int32_t row,
                          std::uint32_t seed) {
    Counts counts;
    runTransition(files, picturePath, kind, row, seed, [&](GalleryPlatform&, bool isPause, std::uint32_t) {
        ++(isPause ? counts.pauses : counts.draws);
    });
    Pace pace;
    pace.byPauses = counts.pauses > 0;
    const std::size_t points = pace.byPauses ? counts.pauses : counts.draws;
    pace.pointsPerFrame = std::max<std::size_t>(1, (points + maxFrames - 1) / maxFrames);

    std::vector<Shot> shots(1);
    std::size_t seen = 0;
    std::uint64_t pausedMs = 0;
    test::Image last;
    runTransition(
        files, picturePath, kind, row, seed,
        [&](GalleryPlatform& platform, bool isPause, std::uint32_t ms) {
            if (isPause != pace.byPauses) return;
            pausedMs += ms;
            if (++seen % pace.pointsPerFrame != 0) return;
            auto delay = pace.byPauses ? std::max<std::uint64_t>(shortestFrameCs, (pausedMs + 5) / 10) : unpacedFrameCs;
            shots.push_back({platform.canvas().surface(), static_cast<std::uint16_t>(std::min<std::uint64_t>(delay, 6000))});
            pausedMs = 0;
        },
        &last, &shots[0].image);
    shots[0].delayCs = firstHoldCs;
    shots.push_back({std::move(last), lastHoldCs});
    return shots;
}

std::vector<std::uint32_t> paletteFor(const test::Image& picture) {
    std::vector<std::uint32_t> palette = gif::medianCutPalette(picture.pixels, pictureColours);
    palette.push_back(test::black);
    palette.push_back(test::black);  // the transparent index
    return palette;
}

// Each shot after the first becomes the rectangle that changed, with the pixels
// that stayed the same transparent; a shot that changed nothing lengthens the one before.
std::vector<gif::Frame> framesFor(const std::vector<Shot>& shots, const std::vector<std::uint32_t>& palette) {
    const int transparent = static_cast<int>(palette.size()) - 1;
    const std::vector<std::uint32_t> colours(palette.begin(), palette.end() - 1);
    std::unordered_map<std::uint32_t, std::uint8_t> nearest;
    auto indexOf = [&](std::uint32_t colour) {
        auto found = nearest.find(colour);
        if (found != nearest.end()) return found->second;
        return nearest.emplace(colour, gif::nearestIndex(colours, colour)).first->second;
    };
    const auto width = static_cast<std::uint16_t>(screen.horzRes), height = static_cast<std::uint16_t>(screen.vertRes);
    std::vector<std::uint8_t> shown;
    std::vector<gif::Frame> frames;
    for (const Shot& shot : shots) {
        std::vector<std::uint8_t> now(shot.image.pixels.size());
        std::transform(shot.image.pixels.begin(), shot.image.pixels.end(), now.begin(), indexOf);
        if (frames.empty()) {
            frames.push_back({0, 0, width, height, now, shot.delayCs, -1});
            shown = std::move(now);
            continue;
        }
        int left = width, top = height, right = -1, bottom = -1;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (now[static_cast<std::size_t>(y) * width + x] != shown[static_cast<std::size_t>(y) * width + x]) {
                    left = std::min(left, x), right = std::max(right, x);
                    top = std::min(top, y), bottom = std::max(bottom, y);
                }
        if (right < 0) {
            frames.back().delayCs = static_cast<std::uint16_t>(std::min(frames.back().delayCs + shot.delayCs, 6000));
            continue;
        }
        gif::Frame frame{static_cast<std::uint16_t>(left), static_cast<std::uint16_t>(top),
                         static_cast<std::uint16_t>(right - left + 1), static_cast<std::uint16_t>(bottom - top + 1),
                         {}, shot.delayCs, transparent};
        for (int y = top; y <= bottom; ++y)
            for (int x = left; x <= right; ++x) {
                std::size_t at = static_cast<std::size_t>(y) * width + x;
                frame.indices.push_back(now[at] == shown[at] ? static_cast<std::uint8_t>(transparent) : now[at]);
            }
        frames.push_back(std::move(frame));
        shown = std::move(now);
    }
    return frames;
}

bool writeFile(const std::string& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

int usage() {
    std::fprintf(stderr, "usage: vellora-gallery PICTURE.bmp OUTDIR [--row N] [--seed S]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    const std::string picturePath = argv[1], outDir = argv[2];
    int firstRow = 2, lastRow = 19;
    std::uint32_t seed = 1;
    for (int i = 3; i + 1 < argc; i += 2) {
        char* end = nullptr;
        long value = std::strtol(argv[i + 1], &end, 10);
        if (*end != '\0') return usage();
        if (std::strcmp(argv[i], "--row") == 0 && value >= 2 && value <= 19)
            firstRow = lastRow = static_cast<int>(value);
        else if (std::strcmp(argv[i], "--seed") == 0 && value >= 0)
            seed = static_cast<std::uint32_t>(value);
        else
            return usage();
    }
    if (argc % 2 == 0) return usage();

    test::DiskFiles files;
    std::string bytes;
    if (std::unique_ptr<InputFile> file = files.openForReading(picturePath)) {
        char buffer[65536];
        while (std::size_t n = file->read(buffer, sizeof buffer)) bytes.append(buffer, n);
    }
    std::optional<test::Image> picture = test::decodeBmp(bytes);
    if (!picture) {
        std::fprintf(stderr, "vellora-gallery: %s is not a picture this tool reads\n", picturePath.c_str());
        return 1;
    }
    const std::vector<std::uint32_t> palette = paletteFor(*picture);

    for (int row = firstRow; row <= lastRow; ++row)
        for (Kind kind : {Kind::reveal, Kind::clear}) {
            std::vector<gif::Frame> frames = framesFor(capture(files, picturePath, kind, row, seed), palette);
            std::string gifBytes;
            char name[32];
            std::snprintf(name, sizeof name, "/%02d-%s.gif", row, kind == Kind::reveal ? "reveal" : "clear");
            if (!gif::encode(static_cast<std::uint16_t>(screen.horzRes), static_cast<std::uint16_t>(screen.vertRes),
                             palette, frames, gifBytes) ||
                !writeFile(outDir + name, gifBytes)) {
                std::fprintf(stderr, "vellora-gallery: cannot write %s%s\n", outDir.c_str(), name);
                return 1;
            }
            std::printf("%s%s %zu frames %zu bytes\n", outDir.c_str(), name, frames.size(), gifBytes.size());
        }
    return 0;
}
