// The EXIF orientation reader on any bytes: it answers a tag value or none, and an
// orientation found in a prefix of the file is the whole file's too.
#include <cstdint>

#include "platform/exif.h"
#include "tests/fuzz/fuzz_support.h"

using namespace vellora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int whole = jpegOrientation(data, size);
    fuzz::require(whole == noOrientation || (whole >= 1 && whole <= 8), "an orientation is 1 to 8 or none");
    // The first Exif segment decides, and a prefix that holds it whole decides alike.
    const int front = jpegOrientation(data, size / 2);
    if (front != noOrientation) fuzz::require(front == whole, "more bytes after the Exif segment change nothing");
    return 0;
}
