// The native platform's decoders on any bytes: a decoded picture is whole, within
// the size limit, and as large as its header says; its colour profile, whatever
// it holds, converts without harm.
#include <algorithm>
#include <cstdint>

#include "platform/decoding/colour_profile.h"
#include "platform/decoding/decode.h"
#include "platform/picture_header.h"
#include "tests/fuzz/fuzz_support.h"

using namespace vellora;

namespace {
// A picture within the cap can be a few bytes that fill 400 MB, which takes seconds
// under the sanitizers; the unit tests decode one at the cap, so the fuzzer spends
// its time on smaller ones: a megapixel, as a busy machine decodes one of any format
// twice well within the second each input is allowed. A progressive JPEG is read
// once per scan, so its scans count too (up to the decoder's own limit on a small
// picture). Pictures past the cap are still decoded, as they must fail at once;
// except GIFs, whose decoder holds only the logical screen, which can be within the
// cap when the area the header reader reports (the screen and the first frame
// together) is not.
constexpr std::uint64_t fuzzPixelBudget = 1u << 20;
constexpr std::uint64_t fuzzScanPixelBudget = 1u << 24;

// A start-of-scan marker cannot occur inside entropy-coded data, where every 0xFF
// is followed by a zero, so counting them counts the scans (or more).
std::uint64_t jpegScans(const std::uint8_t* data, std::size_t size) {
    std::uint64_t scans = 0;
    for (std::size_t i = 1; i < size; ++i) scans += data[i - 1] == 0xFF && data[i] == 0xDA;
    return std::max<std::uint64_t>(scans, 1);
}

bool tooSlowToFuzz(const PictureHeader& header, const std::uint8_t* data, std::size_t size) {
    if (header.status != HeaderStatus::sized) return false;
    const std::uint64_t w = header.width, h = header.height;
    const bool large = w > fuzzPixelBudget || h > fuzzPixelBudget || w * h > fuzzPixelBudget ||
                       (header.format == PictureFormat::jpeg && w * h * jpegScans(data, size) > fuzzScanPixelBudget);
    if (!large) return false;
    return header.format == PictureFormat::gif || !exceedsPixelCap(w, h);
}

// Decoding into an image that still holds an earlier picture gives what decoding
// into fresh memory gives: nothing of the earlier picture shows through.
void checkReuse(const std::uint8_t* data, std::size_t size, const std::optional<linux_platform::DecodedImage>& fresh) {
    static linux_platform::DecodedImage reused;
    // Marking the first rows is enough to catch them showing through, and keeps
    // each run short once the storage has grown.
    reused.pixels.assign(std::max<std::size_t>(std::min<std::size_t>(reused.pixels.capacity(), 1 << 16), 4096),
                         0x5A5A5Au);
    reused.width = reused.height = 64;
    const bool decoded = linux_platform::decodePictureInto(data, size, reused);
    fuzz::require(decoded == fresh.has_value(), "reused storage decodes what fresh storage does");
    if (!decoded) {
        fuzz::require(reused.width == 0 && reused.height == 0 && reused.pixels.empty(), "a failure leaves no picture");
        return;
    }
    fuzz::require(reused.width == fresh->width && reused.height == fresh->height && reused.pixels == fresh->pixels,
                  "reused storage gives the same picture");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const PictureHeader header = readPictureHeader(data, size);
    if (tooSlowToFuzz(header, data, size)) return 0;
    const std::optional<linux_platform::DecodedImage> image = linux_platform::decodePicture(data, size);
    checkReuse(data, size, image);
    if (!image) return 0;
    fuzz::require(image->width > 0 && image->height > 0, "a decoded picture has no empty side");
    const std::uint64_t pixels = std::uint64_t(image->width) * std::uint64_t(image->height);
    fuzz::require(pixels <= linux_platform::maxDecodedPixels, "a decoded picture keeps to the pixel limit");
    fuzz::require(image->pixels.size() == pixels, "every pixel is there");
    std::uint32_t mix = 0;
    for (std::uint32_t p : image->pixels) mix |= p;
    fuzz::require(mix <= 0xFFFFFFu, "pixels are 0xRRGGBB");
    // A loader refuses pictures past the cap by their header; one the header
    // reader cannot size must not turn out large (four megapixels, well short of
    // the cap, is large here).
    fuzz::require(header.status == HeaderStatus::sized || pixels <= 1u << 22,
                  "a large decoded picture has a header the reader sizes");

    fuzz::require(image->orientation >= 0 && image->orientation <= 8, "an orientation is one of the eight or none");
    // A profile, however damaged, converts or leaves the picture alone, and the
    // picture keeps its size.
    linux_platform::DecodedImage converted = *image;
    linux_platform::convertToSrgb(converted);
    fuzz::require(converted.pixels.size() == pixels && converted.iccProfile.empty(), "a profile keeps the picture whole");

    // GIF and TIFF sizes are the decoder's choice of frame, and HEIF, AVIF and JPEG
    // XL pictures are turned or cropped by the file; these formats have one size.
    const bool oneSize = header.format == PictureFormat::bmp || header.format == PictureFormat::png ||
                         header.format == PictureFormat::jpeg || header.format == PictureFormat::webp;
    if (header.status == HeaderStatus::sized && oneSize)
        fuzz::require(header.width == std::uint64_t(image->width) && header.height == std::uint64_t(image->height),
                      "the decoded size is the header's");
    return 0;
}
