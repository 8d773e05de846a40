#include "platform/linux/decode.h"

#include <cstring>
#include <new>

#include "platform/linux/decode_formats.h"

namespace vellora::linux_platform {
namespace formats {

DecodedImage blackImage(std::uint64_t width, std::uint64_t height) {
    DecodedImage image;
    image.width = static_cast<std::int32_t>(width);
    image.height = static_cast<std::int32_t>(height);
    image.pixels.assign(static_cast<std::size_t>(width * height), 0);
    return image;
}

}  // namespace formats

namespace {

bool startsWith(const unsigned char* data, std::size_t size, const char* signature, std::size_t length) {
    return size >= length && std::memcmp(data, signature, length) == 0;
}

std::optional<DecodedImage> decodeByContent(const unsigned char* data, std::size_t size) {
    if (startsWith(data, size, "BM", 2)) return formats::decodeBmp(data, size);
    if (startsWith(data, size, "\xFF\xD8\xFF", 3)) return formats::decodeJpeg(data, size);
    if (startsWith(data, size, "\x89PNG\r\n\x1A\n", 8)) return formats::decodePng(data, size);
    if (startsWith(data, size, "GIF87a", 6) || startsWith(data, size, "GIF89a", 6)) return formats::decodeGif(data, size);
    return std::nullopt;
}

}  // namespace

std::optional<DecodedImage> decodePicture(const unsigned char* data, std::size_t size) {
    if (data == nullptr || size == 0) return std::nullopt;
    // A picture within the pixel cap can still be more than this process can
    // allocate (400 MB on a 32-bit system); that fails the attempt like any other.
    try {
        return decodeByContent(data, size);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

}  // namespace vellora::linux_platform
