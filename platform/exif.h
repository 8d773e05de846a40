// The EXIF orientation of a JPEG file: how the camera was held, as the tag that
// turns a photo upright states it.
//
// Contract:
// - Input is a whole file in memory and untrusted. Every offset and count is
//   checked against the bytes before it is followed; nothing is allocated, and
//   only IFD0 is read, so no chain of directories can make the reader loop.
// - The answer is the value 1 to 8 of the Orientation tag (0x0112, one SHORT) in
//   IFD0 of the first APP1 segment that starts with "Exif\0\0", in either byte
//   order. Anything else gives noOrientation: a file that is not a JPEG, no such
//   segment before the image data, a segment or directory that runs past the end
//   of its data, a malformed TIFF header, a missing tag, a tag of another type or
//   count, or a value outside 1 to 8.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vellora {

inline constexpr int noOrientation = 0;

int jpegOrientation(const unsigned char* data, std::size_t size);

}  // namespace vellora
