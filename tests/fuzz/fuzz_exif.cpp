// The EXIF reader on any bytes: the orientation is a tag value or none, the date
// taken a real day or none, and what a prefix of the file gives is the whole
// file's answer too.
#include <cstdint>

#include "platform/exif.h"
#include "platform/linux/date_taken.h"
#include "tests/fuzz/fuzz_support.h"

using namespace vellora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int whole = jpegOrientation(data, size);
    fuzz::require(whole == noOrientation || (whole >= 1 && whole <= 8), "an orientation is 1 to 8 or none");
    // The first Exif segment decides, and a prefix that holds it whole decides alike.
    const int front = jpegOrientation(data, size / 2);
    if (front != noOrientation) fuzz::require(front == whole, "more bytes after the Exif segment change nothing");

    const std::optional<PhotoTime> taken = photoTimeTaken(MemoryBytes(data, size), linux_platform::inflateBrotli);
    if (taken)
        fuzz::require(taken->year >= 1 && taken->month >= 1 && taken->month <= 12 && taken->day >= 1 &&
                          taken->day <= 31 && taken->hour <= 23 && taken->minute <= 59 && taken->second <= 60,
                      "a date taken is a day of the calendar");
    const std::optional<PhotoTime> early = photoTimeTaken(MemoryBytes(data, size / 2), linux_platform::inflateBrotli);
    if (early) fuzz::require(early == taken, "a date found in a prefix is the whole file's");
    return 0;
}
