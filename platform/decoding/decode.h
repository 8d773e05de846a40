// Picture decoding for the native Linux platform: BMP (our own strict reader),
// JPEG (libjpeg-turbo), PNG (libpng), GIF (giflib, first frame), WebP (libwebp,
// first frame), HEIF (libheif, primary image), AVIF (libavif, primary image),
// TIFF (libtiff, first image) and JPEG XL (libjxl, first frame).
//
// Contract:
// - Input is the whole file in memory, untrusted. Before anything proportional to
//   the announced size is allocated, the size is checked against maxDecodedPixels
//   and, where the format lets the data bound it, against the data: the rows of
//   an uncompressed bitmap, the most that PNG's compressed data can inflate to,
//   one bit per JPEG block and JPEG's end marker. (Run-length bitmaps and GIF
//   screens can be legitimately far larger than their data.) Nothing here throws
//   or aborts; a file that cannot be decoded gives nothing.
// - Output pixels are 0xRRGGBB, row-major, top row first, width × height of them.
//   Transparency is composited over black, since the show draws on black.
// - The format is told by the file's first bytes, never by its name.
// - A file that ends early fails, even where a library would show the part it
//   has: the show then goes on to the next picture rather than a grey remnant.
// - What is shown is what is stored: the first frame of an animation, no gamma,
//   no orientation tag; the fourth byte of a 32-bit bitmap is not alpha. Pixels
//   that run-length bitmap data skips, and the parts of a GIF's or WebP's canvas
//   that its first frame leaves uncovered, are black. The exceptions are the
//   rotations and mirrors that HEIF, AVIF and JPEG XL files make part of the
//   picture itself: those are always applied.
// - A colour profile is not applied here but handed on in iccProfile, and an
//   orientation tag (JPEG's EXIF, TIFF's own) in orientation, for the caller to
//   apply (colour_profile.h, orientation.h).
// - Safe in a sandbox: no decoder opens a file of its own, creates a socket,
//   starts a process or writes to the terminal; HEIF, AVIF, JPEG XL and WebP
//   decode with at most two threads. (The C library's allocator may still try to
//   open a file under /proc from any of them, which a filter must refuse, not
//   punish.)
// - The natural size in HIMETRIC is not decided here: the loader applies the
//   96-pixels-per-inch rule to width and height, whatever density the file states.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace vellora::linux_platform {

inline constexpr std::uint64_t maxDecodedPixels = 100'000'000;
// The largest picture file the loader reads, so a hostile file cannot exhaust memory.
inline constexpr std::uint64_t maxPictureFileBytes = 512ull * 1024 * 1024;

struct DecodedImage {
    DecodedImage() = default;
    DecodedImage(std::int32_t width, std::int32_t height, std::vector<std::uint32_t> pixels)
        : width(width), height(height), pixels(std::move(pixels)) {}

    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint32_t> pixels;
    // The ICC profile the picture carries, empty when it has none.
    std::vector<unsigned char> iccProfile;
    // The file's orientation tag (EXIF values 1 to 8), or 0 without one.
    int orientation = 0;
};

std::optional<DecodedImage> decodePicture(const unsigned char* data, std::size_t size);

// The same into an image whose pixel storage is reused when it is large enough, so
// that a program showing one picture after another does not map and clear fresh
// memory for each. On failure the image holds no picture: its size is 0 × 0, it
// has no pixels, profile or orientation, and its storage is kept for the next call.
bool decodePictureInto(const unsigned char* data, std::size_t size, DecodedImage& image);

// Does once what some libraries do at their first use and a sandbox would forbid:
// libheif looks for plugins in a folder, and the C library reads the time zone
// for lcms2 (colour_profile.h). A process that restricts its system calls
// calls this first; any other need not, as the first decode does it.
void prepareDecoders();

// From now on, decoding asks `stopping` between its steps (rows, scans) and
// fails as soon as it says yes, so that a stop request need not wait for a
// large picture. The function must be safe to call from any thread.
void stopDecodingWhen(bool (*stopping)());

}  // namespace vellora::linux_platform
