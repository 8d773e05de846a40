// Picture decoding for the native Linux platform: BMP (our own strict reader),
// JPEG (libjpeg-turbo), PNG (libpng) and GIF (giflib, first frame).
//
// Contract:
// - Input is the whole file in memory, untrusted: every size is checked against
//   the data and against maxDecodedPixels before anything proportional to it is
//   allocated. Nothing here throws or aborts; a file that cannot be decoded gives
//   nothing.
// - Output pixels are 0xRRGGBB, row-major, top row first, width × height of them.
//   Transparency is composited over black, since the show draws on black.
// - The natural size in HIMETRIC is not decided here: the loader applies the
//   96-pixels-per-inch rule to width and height, whatever density the file states.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace vellora::linux_platform {

inline constexpr std::uint64_t maxDecodedPixels = 100'000'000;

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

}  // namespace vellora::linux_platform
