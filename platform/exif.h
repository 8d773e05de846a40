// What a photo's EXIF metadata says: the orientation of a JPEG file (how the
// camera was held, as the tag that turns a photo upright states it), and when a
// photo was taken, in every format that carries EXIF.
//
// Contract:
// - Input is untrusted: a whole file in memory, or a file read piece by piece
//   through a ByteSource. Every offset and count is checked against the bytes
//   before it is followed, every walk over segments, chunks, boxes, items and
//   extents stops after a bounded number of steps, and only IFD0 and the Exif IFD
//   are read, so no chain of directories can make the reader loop. Nothing is
//   allocated but for a compressed JPEG XL metadata box: at most maxExifBytes in
//   and out.
// - jpegOrientation answers the value 1 to 8 of the Orientation tag (0x0112, one
//   SHORT) in IFD0 of the first APP1 segment that starts with "Exif\0\0", in either
//   byte order. Anything else gives noOrientation: a file that is not a JPEG, no
//   such segment before the image data, a segment or directory that runs past the
//   end of its data, a malformed TIFF header, a missing tag, a tag of another type
//   or count, or a value outside 1 to 8.
// - photoTimeTaken answers the DateTimeOriginal tag (0x9003, ASCII
//   "YYYY:MM:DD HH:MM:SS", at least 19 characters) of the Exif IFD that IFD0's tag
//   0x8769 (one LONG or IFD) points to, in the EXIF block of: a JPEG (as above), a
//   TIFF file (the file itself), a WebP file (its EXIF chunk), a PNG file (its eXIf
//   chunk), a HEIF or AVIF file (the item of type Exif that the meta box's iinf
//   names, where its iloc puts it: in the file or in idat; its first extent), or a
//   JPEG XL container (its Exif box, or a brob box holding one when an inflater is
//   given). The date may separate its parts with ':', '-', '/' or '.'; a time of
//   blanks counts as midnight. Nothing when the block, the pointer or the tag is
//   missing or malformed, or the text is not a day of the calendar (year 1 to 9999)
//   and a time of day.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/byte_source.h"

namespace vellora {

inline constexpr int noOrientation = 0;

int jpegOrientation(const unsigned char* data, std::size_t size);

// A moment as a camera's clock showed it: no time zone.
struct PhotoTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    bool operator==(const PhotoTime&) const = default;
};

// The most a compressed EXIF block may take, before and after inflating.
inline constexpr std::size_t maxExifBytes = 1u << 20;

// Inflates a Brotli stream into at most `limit` bytes; nothing when it is not a
// whole stream that fits.
using BrotliInflater = std::optional<std::vector<unsigned char>> (*)(const unsigned char* data, std::size_t size,
                                                                     std::size_t limit);

std::optional<PhotoTime> photoTimeTaken(const ByteSource& file, BrotliInflater inflate = nullptr);

}  // namespace vellora
