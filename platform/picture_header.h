// Reads a picture file's width and height from its header, without decoding it, so
// that a loader can refuse a picture too large to hold before any decoder allocates
// for it.
//
// Contract:
// - Input is the file's bytes, untrusted. Every read is bounds-checked against
//   `size`; nothing is allocated, whatever size the file claims.
// - Formats: BMP (every info-header version; a negative height means top-down and
//   reports its magnitude), GIF (the area covering the logical screen and the first
//   image), JPEG (the first start-of-frame marker), PNG (IHDR) and TIFF (the first
//   image directory, either byte order, SHORT or LONG sizes, classic or BigTIFF:
//   the image that decoders show), WebP (the canvas of VP8X, or the frame of a
//   plain VP8 or VP8L file), HEIF and AVIF (the largest image-spatial-extents
//   property, which covers a grid's whole picture as well as its tiles; sizes as
//   stored, before any rotation) and JPEG XL (the codestream's size header, bare
//   or in its container's first codestream box; before any orientation).
// - `unknownFormat`: no signature of these formats (a file shorter than the
//   signature included; for HEIF and AVIF the signature is the whole file-type
//   box, whose brands tell the two apart). `damaged`: the signature is there but the header is cut
//   short, or states no size or a zero or negative one. `sized`: width and height
//   are both at least 1.
// - From memory the reader sees the whole file. From a ByteSource it reads the
//   pieces it needs wherever the format keeps its size (a TIFF directory at the
//   end of the file, a JPEG frame header after large APP segments, a HEIF meta
//   box after the media data), at most maxHeaderBytesRead bytes in all: a header
//   it cannot reach within them, or that cannot be read, counts as damaged, and
//   a file whose signature cannot be read as unknownFormat. Within the bound both
//   give the same answer for the same bytes.
// - Portable: no OS header, so every platform's loader can call it. Nothing throws.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/byte_source.h"

namespace vellora {

// More pixels than this are refused before decoding: 400 MB at 32 bits per pixel
// already strains a 32-bit process.
inline constexpr std::uint64_t maxPicturePixels = 100'000'000;

enum class PictureFormat { none, bmp, gif, jpeg, png, tiff, webp, heif, avif, jxl };
enum class HeaderStatus { unknownFormat, damaged, sized };

struct PictureHeader {
    HeaderStatus status = HeaderStatus::unknownFormat;
    PictureFormat format = PictureFormat::none;
    std::uint64_t width = 0;  // set only when sized
    std::uint64_t height = 0;
};

inline constexpr std::uint64_t maxHeaderBytesRead = 1u << 20;

PictureHeader readPictureHeader(const unsigned char* data, std::size_t size);
PictureHeader readPictureHeader(const ByteSource& bytes);

bool exceedsPixelCap(std::uint64_t width, std::uint64_t height);

}  // namespace vellora
