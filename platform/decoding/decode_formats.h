// The per-format decoders behind decodePicture, and what they share.
//
// Contract: each decoder is handed bytes whose signature already matched its
// format, checks the announced size with fitsPixelCap before allocating anything
// that grows with it, and returns false for any file it cannot decode in full.
// The image's storage is reused (see decodePictureInto); after a failure its
// pixels are undefined. None of them throws except std::bad_alloc, which
// decodePicture turns into a failure.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/decoding/decode.h"

namespace vellora::linux_platform::formats {

// The file's bytes as the libraries' read callbacks take them, from a position on.
struct MemorySource {
    const unsigned char* data;
    std::size_t size;
    std::size_t at = 0;

    std::size_t left() const { return size - at; }
    // Copies up to `wanted` bytes from the position on and moves past them; how many.
    std::size_t read(void* out, std::size_t wanted) {
        const std::size_t length = std::min(wanted, left());
        std::memcpy(out, data + at, length);
        at += length;
        return length;
    }
};

inline bool fitsPixelCap(std::uint64_t width, std::uint64_t height) {
    return width > 0 && height > 0 && width <= maxDecodedPixels && height <= maxDecodedPixels &&
           width * height <= maxDecodedPixels;
}

// Sizes the image for a size that fitsPixelCap has already accepted. Only a
// decoder that may leave pixels unwritten asks for black: clearing is not free.
void sizeImage(DecodedImage& image, std::uint64_t width, std::uint64_t height, bool black);

inline std::uint32_t rgb(unsigned red, unsigned green, unsigned blue) {
    return (static_cast<std::uint32_t>(red) << 16) | (static_cast<std::uint32_t>(green) << 8) | blue;
}

// Whether the process asked decoding to stop (see stopDecodingWhen).
bool decodingStopped();

// value × alpha / 255, rounded: a sample composited over black.
inline unsigned overBlack(unsigned value, unsigned alpha) { return (value * alpha + 127) / 255; }

// The order of the four bytes of each pixel a library wrote into the image.
enum class ByteOrder { bgra, rgba };

// Turns count pixels that a library wrote as four bytes each into 0xRRGGBB, in
// place, compositing over black when the alpha bytes mean anything.
void finishPixels(std::uint32_t* pixels, std::size_t count, ByteOrder order, bool alpha);

// The one-time setup of the libraries that need one (see prepareDecoders).
void prepareHeif();
void prepareTiff();
void prepareJxl();

bool decodeBmp(const unsigned char* data, std::size_t size, DecodedImage& image);
bool decodeJpeg(const unsigned char* data, std::size_t size, DecodedImage& image);
bool decodePng(const unsigned char* data, std::size_t size, DecodedImage& image);
bool decodeGif(const unsigned char* data, std::size_t size, DecodedImage& image);
bool decodeWebp(const unsigned char* data, std::size_t size, DecodedImage& image);
bool decodeHeif(const unsigned char* data, std::size_t size, DecodedImage& image);
bool decodeAvif(const unsigned char* data, std::size_t size, DecodedImage& image);
bool decodeTiff(const unsigned char* data, std::size_t size, DecodedImage& image);
bool decodeJxl(const unsigned char* data, std::size_t size, DecodedImage& image);

}  // namespace vellora::linux_platform::formats
