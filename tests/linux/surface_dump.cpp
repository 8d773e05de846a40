// vellora-surface: the screen the test platform shows after the reveal of one
// catalogue row, for a device and a picture file, as raw 0xRRGGBB words
// (little-endian, row-major from the top) on standard output, and the picture's
// rectangle as "rect LEFT TOP WIDTH HEIGHT" on standard error.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "effects/catalogue.h"
#include "platform/decoding/colour_profile.h"
#include "platform/decoding/decode.h"
#include "platform/test/test_platform.h"
#include "slideshow/controller.h"
#include "slideshow/picture_source.h"
#include "slideshow/slide_state.h"

using namespace vellora;

int main(int argc, char** argv) {
    if (argc != 7) {
        std::fputs("usage: vellora-surface ROW HORZRES VERTRES HORZSIZE VERTSIZE PICTURE\n", stderr);
        return 2;
    }
    const int row = std::atoi(argv[1]);
    const DeviceMetrics metrics{std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5])};
    if (row < 0 || row > 19 || metrics.horzRes <= 0 || metrics.vertRes <= 0) return 2;
    std::ifstream file(argv[6], std::ios::binary);
    const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::optional<linux_platform::DecodedImage> decoded = linux_platform::decodePicture(bytes.data(), bytes.size());
    if (!decoded) {
        std::fputs("vellora-surface: the picture does not decode\n", stderr);
        return 1;
    }
    linux_platform::convertToSrgb(*decoded);

    test::TestPlatform testPlatform(metrics);
    testPlatform.install();
    SlideState& s = slideState();
    s.hdc = &testPlatform.canvas();
    measureDisplay(testPlatform.canvas());
    test::TestPicture picture(test::Image{decoded->width, decoded->height, std::move(decoded->pixels)});
    s.pictureWidth = picture.widthHimetric();
    s.pictureHeight = picture.heightHimetric();
    placePicture();
    catalogueRow(row).reveal(picture);
    std::fprintf(stderr, "rect %d %d %d %d\n", s.drawLeft, s.drawTop, s.drawWidth, s.drawHeight);

    const std::vector<std::uint32_t>& pixels = testPlatform.canvas().surface().pixels;
    std::fwrite(pixels.data(), sizeof(std::uint32_t), pixels.size(), stdout);
    return 0;
}
