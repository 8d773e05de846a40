#include "platform/linux/decode.h"

#include <sys/mman.h>

#include <cstring>
#include <new>

#include "platform/linux/decode_formats.h"

namespace vellora::linux_platform {
namespace formats {

namespace {

bool (*stopCheck)() = nullptr;

// First touches of fresh memory cost a page fault per 4 KB page, which for a
// 12-megapixel picture took longer than decoding it on the machines measured;
// huge pages, where the system offers them on request, cut that to a few faults.
void adviseHugePages(void* start, std::size_t bytes) {
    constexpr std::uintptr_t hugePage = std::uintptr_t{1} << 21;
    const auto begin = reinterpret_cast<std::uintptr_t>(start);
    const std::uintptr_t first = (begin + hugePage - 1) & ~(hugePage - 1);
    const std::uintptr_t last = (begin + bytes) & ~(hugePage - 1);
    if (first < last) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

}  // namespace

bool decodingStopped() { return stopCheck && stopCheck(); }

void sizeImage(DecodedImage& image, std::uint64_t width, std::uint64_t height, bool black) {
    image.width = static_cast<std::int32_t>(width);
    image.height = static_cast<std::int32_t>(height);
    const auto count = static_cast<std::size_t>(width * height);
    if (image.pixels.capacity() < count) {
        image.pixels.clear();
        image.pixels.reserve(count);
        adviseHugePages(image.pixels.data(), count * sizeof(std::uint32_t));
    }
    if (black) image.pixels.assign(count, 0);
    else image.pixels.resize(count);
}

}  // namespace formats

namespace {

bool startsWith(const unsigned char* data, std::size_t size, const char* signature, std::size_t length) {
    return size >= length && std::memcmp(data, signature, length) == 0;
}

bool decodeByContent(const unsigned char* data, std::size_t size, DecodedImage& image) {
    if (startsWith(data, size, "BM", 2)) return formats::decodeBmp(data, size, image);
    if (startsWith(data, size, "\xFF\xD8\xFF", 3)) return formats::decodeJpeg(data, size, image);
    if (startsWith(data, size, "\x89PNG\r\n\x1A\n", 8)) return formats::decodePng(data, size, image);
    if (startsWith(data, size, "GIF87a", 6) || startsWith(data, size, "GIF89a", 6)) return formats::decodeGif(data, size, image);
    return false;
}

}  // namespace

bool decodePictureInto(const unsigned char* data, std::size_t size, DecodedImage& image) {
    bool decoded = false;
    // A picture within the pixel cap can still be more than this process can
    // allocate (400 MB on a 32-bit system); that fails the attempt like any other.
    try {
        decoded = data != nullptr && size > 0 && decodeByContent(data, size, image);
    } catch (const std::bad_alloc&) {
        decoded = false;
    }
    if (!decoded) {
        image.width = image.height = 0;
        image.pixels.clear();
    }
    return decoded;
}

void stopDecodingWhen(bool (*stopping)()) { formats::stopCheck = stopping; }

std::optional<DecodedImage> decodePicture(const unsigned char* data, std::size_t size) {
    DecodedImage image;
    if (!decodePictureInto(data, size, image)) return std::nullopt;
    return image;
}

}  // namespace vellora::linux_platform
