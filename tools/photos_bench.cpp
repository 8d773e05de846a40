// vellora-photos-bench PICTURE [SECONDS]: the cost of --backdrop and --caption on a
// 1920 × 1080 display, each against a baseline measured in the same run:
//   backdrop   composing the backdrop of the picture shrunk to fit (--fit), against
//              decoding the picture
//   caption    writing a caption and taking it away, against one memcpy of a frame
// Each figure is the best of repeated runs over SECONDS (default 1), interleaved
// with its baseline so that other load on the machine hits both alike.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/decoding/decode.h"
#include "platform/decoding/picture_loader.h"
#include "platform/linux/photo_caption.h"
#include "platform/linux/photo_pictures.h"
#include "tools/bench_clock.h"

using namespace vellora;
using namespace vellora::linux_platform;
using namespace vellora::bench;

namespace {

constexpr std::int32_t width = 1920, height = 1080;
constexpr double pixelsPerMm = 96 / 25.4;
// A 24-inch monitor's: 1920 pixels in 531 mm.
constexpr double monitorPixelsPerMm = 1920.0 / 531.0;

template <typename Fn>
double bestWithin(double seconds, Fn&& fn) {
    double fastest = 1e9;
    const auto start = Steady::now();
    do {
        const auto round = Steady::now();
        fn();
        fastest = std::min(fastest, secondsSince(round));
    } while (secondsSince(start) < seconds);
    return fastest;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fputs("usage: vellora-photos-bench PICTURE [SECONDS]\n", stderr);
        return 2;
    }
    const double seconds = argc == 3 ? std::atof(argv[2]) : 1.0;
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<unsigned char> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    DecodedImage image;
    if (!decodePictureInto(file.data(), file.size(), image)) {
        std::fprintf(stderr, "%s does not decode\n", argv[1]);
        return 1;
    }

    double decode = 1e9, backdrop = 1e9, copy = 1e9, caption = 1e9;
    std::vector<std::uint32_t> storage, frame = pattern(width, height), target(frame.size());
    const FitDisplay display{width, height, pixelsPerMm, pixelsPerMm};
    CaptionOverlay overlay;
    const SurfaceView surface{target.data(), width, height};
    const std::string text = "12/08/2019  \u00B7  2019/Holiday in the mountains";
    overlay.show(surface, text, monitorPixelsPerMm);  // the fonts are found once, at the first caption
    overlay.takeAway(surface);
    for (int round = 0; round < 3; ++round) {
        decode = std::min(decode, bestWithin(seconds, [&] { decodePictureInto(file.data(), file.size(), image); }));
        backdrop = std::min(backdrop, bestWithin(seconds, [&] {
                                // Shrunk to fit (--fit), as a photo this large is shown whole.
                                withBackdrop(fitToDisplay(std::make_unique<PixelPicture>(image.width, image.height,
                                                                                         image.pixels.data(), [] {}),
                                                          display),
                                             display, storage);
                            }));
        copy = std::min(copy, bestWithin(seconds, [&] {
                            std::memcpy(target.data(), frame.data(), frame.size() * sizeof frame[0]);
                            frame[static_cast<std::size_t>(round)] = target.back();
                        }));
        caption = std::min(caption, bestWithin(seconds, [&] {
                               overlay.show(surface, text, monitorPixelsPerMm);
                               overlay.takeAway(surface);
                           }));
    }
    std::printf("backdrop on %dx%d of a %dx%d picture, fitted: %.2f ms, its decoding: %.2f ms, ratio %.2f (target at most 0.5)\n",
                width, height, image.width, image.height, backdrop * 1e3, decode * 1e3, backdrop / decode);
    std::printf("caption written and taken away: %.3f ms, memcpy of a %dx%d frame: %.3f ms, ratio %.2f "
                "(target at most 2 ms)\n",
                caption * 1e3, width, height, copy * 1e3, caption / copy);
    return 0;
}
