// Photos as people like them: the caption's text and its drawing over a canvas,
// and the backdrop composed around a picture.
#include <gtest/gtest.h>

#include <glib.h>

#include <algorithm>
#include <cstdlib>
#include <numeric>

#include "platform/decoding/picture_loader.h"
#include "platform/linux/photo_caption.h"
#include "platform/linux/photo_pictures.h"

namespace vellora::linux_platform {
namespace {

TEST(CaptionText, TheDateInTheSessionsFormatThenTheFolderBelowTheOneShown) {
    const locale_t c = newlocale(LC_TIME_MASK | LC_CTYPE_MASK, "C", static_cast<locale_t>(nullptr));
    const PhotoTime taken{2019, 8, 12, 10, 20, 30};
    struct Case {
        const char* path;
        const char* source;
        const char* place;
    } cases[] = {
        {"/p/album/2019/Holiday/a.jpg", "/p/album", "2019/Holiday"},
        {"/p/album//2019/Holiday/a.jpg", "/p/album//", "2019/Holiday"},
        {"/p/album/a.jpg", "/p/album", "album"},
        {"/p/album2/b.jpg", "/p/album", "b.jpg"},  // beside the folder, not in it
        {"/x/y/IMG_1.jpg", "/p/list.txt", "IMG_1.jpg"},
        {"-/IMG_2.jpg", "-", "IMG_2.jpg"},         // a list on standard input
        {"/2019/a.jpg", "/", "2019"},
        {"/a.jpg", "/", "/"},
        {"/p/album/caf\xE9/b.jpg", "/p/album", "caf\uFFFD"},
        {"/p/album/\xE6\x97\xA5\xE6\x97/b.jpg", "/p/album", "\u65E5\uFFFD\uFFFD"},  // a character cut short
        {"/p/album/\xE6\x97\xA5\xE6\x9C\xAC/b.jpg", "/p/album", "\u65E5\u672C"},
    };
    for (const Case& k : cases) {
        const std::string text = captionText(taken, k.path, k.source, c);
        EXPECT_EQ(text, std::string("08/12/19  \u00B7  ") + k.place) << k.path;
        EXPECT_TRUE(g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) << k.path;
    }
    freelocale(c);
    // A session in another language writes the date its own way, in UTF-8.
    if (const locale_t zh = newlocale(LC_TIME_MASK | LC_CTYPE_MASK, "zh_CN.UTF-8", static_cast<locale_t>(nullptr))) {
        EXPECT_EQ(captionText(taken, "/p/a.jpg", "/p", zh), "2019\u5E7408\u670812\u65E5  \u00B7  p");
        freelocale(zh);
    }
}

TEST(CaptionPixelsPerMm, FromTheDiagonalAndNinetySixPerInchWhereTheDisplayDoesNotTell) {
    EXPECT_NEAR(captionPixelsPerMm(1920, 1080, 531, 299), 3.62, 0.01);
    EXPECT_EQ(captionPixelsPerMm(1080, 1920, 299, 531), captionPixelsPerMm(1920, 1080, 531, 299));
    for (auto [w, h] : {std::pair{0, 0}, {16, 9}, {1000, 1}})
        EXPECT_DOUBLE_EQ(captionPixelsPerMm(1920, 1080, w, h), 96 / 25.4) << w << " x " << h;
}

std::vector<std::uint32_t> busySurface(std::int32_t width, std::int32_t height) {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint32_t>(i * 2654435761u) & 0x7F7F7F;
    return pixels;
}

TEST(CaptionOverlay, WritesInTheLowerRightCornerAndPutsBackWhatLayUnder) {
    const std::int32_t width = 640, height = 480;
    std::vector<std::uint32_t> pixels = busySurface(width, height);
    const std::vector<std::uint32_t> before = pixels;
    const SurfaceView surface{pixels.data(), width, height};
    CaptionOverlay caption;
    const PixelRect first = caption.show(surface, "08/12/19  \u00B7  2019/Holiday", 4.0);
    ASSERT_FALSE(first.empty());
    // A line of 16-pixel text, a text height in from the corner, with its shadow around it.
    EXPECT_GT(first.left, width / 2);
    EXPECT_GT(first.top, height * 3 / 4);
    EXPECT_LE(first.right, width - 8);
    EXPECT_LE(first.bottom, height - 8);
    EXPECT_LT(first.bottom - first.top, 3 * 16);
    int lighter = 0, darker = 0, changedOutside = 0;
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * width + x;
            const bool inside = x >= first.left && x < first.right && y >= first.top && y < first.bottom;
            changedOutside += !inside && pixels[i] != before[i];
            lighter += (pixels[i] & 0xFF) > (before[i] & 0xFF);
            darker += (pixels[i] & 0xFF) < (before[i] & 0xFF);
        }
    EXPECT_EQ(changedOutside, 0);
    EXPECT_GT(lighter, 100);  // the text
    EXPECT_GT(darker, 100);   // its shadow

    // A second caption replaces the first; taking it away leaves the surface as it was.
    const PixelRect second = caption.show(surface, "x", 4.0);
    EXPECT_LE(second.left, first.left);
    EXPECT_FALSE(caption.takeAway(surface).empty());
    EXPECT_EQ(pixels, before);
    EXPECT_TRUE(caption.takeAway(surface).empty());
    // A surface with no room for a line gets none.
    std::vector<std::uint32_t> tiny(40 * 20);
    EXPECT_TRUE(caption.show({tiny.data(), 40, 20}, "08/12/19", 4.0).empty());
}

// A picture of the given size whose every pixel differs from black and from its neighbours.
std::unique_ptr<PixelPicture> testPicture(std::int32_t width, std::int32_t height) {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x)
            pixels[static_cast<std::size_t>(y) * width + x] =
                static_cast<std::uint32_t>(0x80 + x % 2 * 0x40) << 16 | static_cast<std::uint32_t>(y * 255 / height) << 8 | 0x40;
    return std::make_unique<PixelPicture>(width, height, std::move(pixels));
}

// A 640 × 480 screen at 96 pixels per inch, which shows a picture as the show's
// full draw does: centred at the size the picture source places it.
class Screen : public Canvas {
public:
    static constexpr std::int32_t width = 640, height = 480;
    static constexpr double ppm = 96 / 25.4;
    std::vector<std::uint32_t> pixels = std::vector<std::uint32_t>(width * height);
    PixelRect placed;

    explicit Screen(const Picture& picture) {
        const std::int32_t w = placedPixels(picture.widthHimetric(), ppm), h = placedPixels(picture.heightHimetric(), ppm);
        placed = {(width - w) / 2, (height - h) / 2, (width - w) / 2 + w, (height - h) / 2 + h};
        const std::int32_t pw = picture.widthHimetric(), ph = picture.heightHimetric();
        picture.renderTo(*this, placed.left, placed.top, w, h, 0, ph, pw, -ph);
    }
    std::uint32_t at(std::int32_t x, std::int32_t y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    DeviceMetrics metrics() override { return {width, height, 0, 0}; }
    void fillBlack(std::int32_t, std::int32_t, std::int32_t, std::int32_t) override {}
    void render(const Picture& picture, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy,
                std::int32_t xSrc, std::int32_t ySrc, std::int32_t cxSrc, std::int32_t cySrc) override {
        const auto& p = static_cast<const PixelPicture&>(picture);
        const SourcePixels source{p.pixels(), p.width(), p.height(), p.widthHimetric(), p.heightHimetric()};
        renderPicture({pixels.data(), width, height}, source, x, y, cx, cy, xSrc, ySrc, cxSrc, cySrc);
    }
    void selectBlackBrush() override {}
    void pie(std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
             std::int32_t) override {}
};

int channelStep(std::uint32_t a, std::uint32_t b) {
    int most = 0;
    for (int shift = 0; shift <= 16; shift += 8) most = std::max(most, std::abs(int(a >> shift & 0xFF) - int(b >> shift & 0xFF)));
    return most;
}

TEST(Backdrop, FillsTheScreenWithTheDarkenedPictureAroundItsExactPixels) {
    const FitDisplay display{Screen::width, Screen::height, Screen::ppm, Screen::ppm};
    std::vector<std::uint32_t> storage;
    const Screen alone(*testPicture(160, 120));
    const std::unique_ptr<Picture> composed = withBackdrop(testPicture(160, 120), display, storage);
    const Screen screen(*composed);
    const PixelRect r = alone.placed;
    ASSERT_EQ(screen.placed.left, 0);
    ASSERT_EQ(screen.placed.right, Screen::width);
    ASSERT_EQ(screen.placed.bottom, Screen::height);
    const auto inPicture = [&](std::int32_t x, std::int32_t y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; };
    int differing = 0, black = 0, step = 0;
    std::uint32_t reddest = 0;
    for (std::int32_t y = 0; y < Screen::height; ++y)
        for (std::int32_t x = 0; x < Screen::width; ++x) {
            if (inPicture(x, y)) {
                differing += screen.at(x, y) != alone.at(x, y);
                continue;
            }
            black += screen.at(x, y) == 0;
            reddest = std::max(reddest, screen.at(x, y) >> 16 & 0xFF);
            if (x + 1 < Screen::width && !inPicture(x + 1, y)) step = std::max(step, channelStep(screen.at(x, y), screen.at(x + 1, y)));
            if (y + 1 < Screen::height && !inPicture(x, y + 1)) step = std::max(step, channelStep(screen.at(x, y), screen.at(x, y + 1)));
        }
    EXPECT_EQ(differing, 0);                     // the picture's own pixels
    EXPECT_EQ(black, 0);
    EXPECT_LE(reddest, 0xC0u * 115 / 256 + 1);  // darker than the picture
    EXPECT_LE(step, 4);                          // smooth
    // The picture's green grows downward, and so does the backdrop's.
    EXPECT_LT(screen.at(0, 0) >> 8 & 0xFF, screen.at(0, Screen::height - 1) >> 8 & 0xFF);

    // A picture that fills the display needs no backdrop.
    std::unique_ptr<Picture> whole = testPicture(700, 520);
    const Picture* full = whole.get();
    EXPECT_EQ(withBackdrop(std::move(whole), display, storage).get(), full);
}

}  // namespace
}  // namespace vellora::linux_platform
