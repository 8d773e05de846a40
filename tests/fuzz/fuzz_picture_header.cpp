// The picture-header reader on any bytes.
#include <cstdint>

#include "platform/picture_header.h"
#include "tests/fuzz/fuzz_support.h"

using namespace vellora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const PictureHeader whole = readPictureHeader(data, size);
    if (whole.status == HeaderStatus::unknownFormat)
        fuzz::require(whole.format == PictureFormat::none, "an unknown file has no format");
    else
        fuzz::require(whole.format != PictureFormat::none, "a known signature names its format");
    if (whole.status == HeaderStatus::sized)
        fuzz::require(whole.width > 0 && whole.height > 0, "a sized header has no empty side");
    else
        fuzz::require(whole.width == 0 && whole.height == 0, "only a sized header reports a size");

    // A size depends only on the header's bytes: a prefix that already holds it
    // gives the same answer as the whole file.
    const PictureHeader front = readPictureHeader(data, size / 2);
    if (front.status == HeaderStatus::sized)
        fuzz::require(front.format == whole.format && front.width == whole.width && front.height == whole.height,
                      "more bytes after the header change nothing");
    exceedsPixelCap(whole.width, whole.height);
    return 0;
}
