// When a photo was taken, for its caption, read from the picture file the show
// has open: the EXIF date its metadata states (platform/exif.h), else the file's
// modification time in the local time zone.
//
// Contract:
// - The file is read with bounded reads at the offsets the EXIF reader asks for,
//   never whole, and never through a decoder library: a JPEG XL box compressed with
//   Brotli is inflated into at most maxExifBytes. Nothing here throws.
// - Nothing when neither the metadata nor the file's status gives a time.
#pragma once

#include <cstddef>
#include <ctime>
#include <optional>
#include <vector>

#include "platform/exif.h"

namespace vellora::linux_platform {

// `size` and `modified` are what the open file's status says.
std::optional<PhotoTime> dateTakenOfFile(int fileDescriptor, std::uint64_t size, std::time_t modified);

// The inflater the EXIF reader takes for JPEG XL's compressed boxes.
std::optional<std::vector<unsigned char>> inflateBrotli(const unsigned char* data, std::size_t size, std::size_t limit);

}  // namespace vellora::linux_platform
