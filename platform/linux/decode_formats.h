// The per-format decoders behind decodePicture, and what they share.
//
// Contract: each decoder is handed bytes whose signature already matched its
// format, checks the announced size with fitsPixelCap before allocating anything
// that grows with it, and returns nothing for any file it cannot decode in full.
// None of them throws except std::bad_alloc, which decodePicture turns into a
// failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/linux/decode.h"

namespace vellora::linux_platform::formats {

inline bool fitsPixelCap(std::uint64_t width, std::uint64_t height) {
    return width > 0 && height > 0 && width <= maxDecodedPixels && height <= maxDecodedPixels &&
           width * height <= maxDecodedPixels;
}

// A black picture of a size that fitsPixelCap has already accepted.
DecodedImage blackImage(std::uint64_t width, std::uint64_t height);

inline std::uint32_t rgb(unsigned red, unsigned green, unsigned blue) {
    return (static_cast<std::uint32_t>(red) << 16) | (static_cast<std::uint32_t>(green) << 8) | blue;
}

// value × alpha / 255, rounded: a sample composited over black.
inline unsigned overBlack(unsigned value, unsigned alpha) { return (value * alpha + 127) / 255; }

std::optional<DecodedImage> decodeBmp(const unsigned char* data, std::size_t size);
std::optional<DecodedImage> decodeJpeg(const unsigned char* data, std::size_t size);
std::optional<DecodedImage> decodePng(const unsigned char* data, std::size_t size);
std::optional<DecodedImage> decodeGif(const unsigned char* data, std::size_t size);

}  // namespace vellora::linux_platform::formats
