// Picture decoding for the native Linux platform: BMP (our own strict reader),
// JPEG (libjpeg-turbo), PNG (libpng) and GIF (giflib, first frame).
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
// - What is shown is what is stored: the first frame of an animation, no gamma
//   or colour profile, no orientation tag; the fourth byte of a 32-bit bitmap is
//   not alpha. Pixels that run-length bitmap data skips, and the parts of a GIF's
//   screen that its first frame leaves uncovered, are black.
// - The natural size in HIMETRIC is not decided here: the loader applies the
//   96-pixels-per-inch rule to width and height, whatever density the file states.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace vellora::linux_platform {

inline constexpr std::uint64_t maxDecodedPixels = 100'000'000;
// The largest picture file the loader reads, so a hostile file cannot exhaust memory.
inline constexpr std::uint64_t maxPictureFileBytes = 512ull * 1024 * 1024;

struct DecodedImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint32_t> pixels;
};

std::optional<DecodedImage> decodePicture(const unsigned char* data, std::size_t size);

// The same into an image whose pixel storage is reused when it is large enough, so
// that a program showing one picture after another does not map and clear fresh
// memory for each. On failure the image holds no picture: its size is 0 × 0, it
// has no pixels, and its storage is kept for the next call.
bool decodePictureInto(const unsigned char* data, std::size_t size, DecodedImage& image);

// From now on, decoding asks `stopping` between its steps (rows, scans) and
// fails as soon as it says yes, so that a stop request need not wait for a
// large picture. The function must be safe to call from any thread.
void stopDecodingWhen(bool (*stopping)());

}  // namespace vellora::linux_platform
