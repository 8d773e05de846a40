// The native platform's decoders on any bytes: a decoded picture is whole, within
// the size limit, and as large as its header says.
#include <cstdint>

#include "platform/linux/decode.h"
#include "platform/picture_header.h"
#include "tests/fuzz/fuzz_support.h"

using namespace vellora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::optional<linux_platform::DecodedImage> image = linux_platform::decodePicture(data, size);
    if (!image) return 0;
    fuzz::require(image->width > 0 && image->height > 0, "a decoded picture has no empty side");
    const std::uint64_t pixels = std::uint64_t(image->width) * std::uint64_t(image->height);
    fuzz::require(pixels <= linux_platform::maxDecodedPixels, "a decoded picture keeps to the pixel limit");
    fuzz::require(image->pixels.size() == pixels, "every pixel is there");
    std::uint32_t mix = 0;
    for (std::uint32_t p : image->pixels) mix |= p;
    fuzz::require(mix <= 0xFFFFFFu, "pixels are 0xRRGGBB");

    // GIF and TIFF sizes are the decoder's choice of frame; these formats have one size.
    const PictureHeader header = readPictureHeader(data, size);
    const bool oneSize = header.format == PictureFormat::bmp || header.format == PictureFormat::png ||
                         header.format == PictureFormat::jpeg;
    if (header.status == HeaderStatus::sized && oneSize)
        fuzz::require(header.width == std::uint64_t(image->width) && header.height == std::uint64_t(image->height),
                      "the decoded size is the header's");
    return 0;
}
