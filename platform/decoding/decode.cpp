#include "platform/decoding/decode.h"

#include <sys/mman.h>
#include <time.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/decoding/decode_formats.h"

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

void finishPixels(std::uint32_t* pixels, std::size_t count, ByteOrder order, bool alpha) {
    const int red = order == ByteOrder::bgra ? 2 : 0, blue = 2 - red;
    for (std::size_t i = 0; i < count; ++i) {
        unsigned char bytes[4];
        std::memcpy(bytes, pixels + i, 4);
        const unsigned a = alpha ? bytes[3] : 255;
        pixels[i] = alpha ? rgb(overBlack(bytes[red], a), overBlack(bytes[1], a), overBlack(bytes[blue], a))
                          : rgb(bytes[red], bytes[1], bytes[blue]);
    }
}

}  // namespace formats

namespace {

bool startsWith(const unsigned char* data, std::size_t size, const char* signature, std::size_t length) {
    return size >= length && std::memcmp(data, signature, length) == 0;
}

std::uint32_t bigEndian32(const unsigned char* bytes) {
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) | bytes[3];
}

enum class IsoBrand { none, heif, avif };

// HEIF and AVIF share one container; the brands in its leading file-type box
// tell which codec the file needs. AVIF wins where both are listed, as an AVIF
// file names the generic HEIF brand too.
IsoBrand isoBrand(const unsigned char* data, std::size_t size) {
    if (size < 16 || std::memcmp(data + 4, "ftyp", 4) != 0) return IsoBrand::none;
    const std::size_t boxEnd = std::min<std::size_t>(bigEndian32(data), size);
    static const char* const heifBrands[] = {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1"};
    IsoBrand found = IsoBrand::none;
    for (std::size_t at = 8; at + 4 <= boxEnd; at += at == 8 ? 8 : 4) {  // the major brand, then past the minor version
        const unsigned char* brand = data + at;
        if (std::memcmp(brand, "avif", 4) == 0 || std::memcmp(brand, "avis", 4) == 0) return IsoBrand::avif;
        for (const char* heif : heifBrands)
            if (std::memcmp(brand, heif, 4) == 0) found = IsoBrand::heif;
    }
    return found;
}

bool decodeByContent(const unsigned char* data, std::size_t size, DecodedImage& image) {
    if (startsWith(data, size, "BM", 2)) return formats::decodeBmp(data, size, image);
    if (startsWith(data, size, "\xFF\xD8\xFF", 3)) return formats::decodeJpeg(data, size, image);
    if (startsWith(data, size, "\x89PNG\r\n\x1A\n", 8)) return formats::decodePng(data, size, image);
    if (startsWith(data, size, "GIF87a", 6) || startsWith(data, size, "GIF89a", 6)) return formats::decodeGif(data, size, image);
    if (startsWith(data, size, "RIFF", 4) && size >= 12 && std::memcmp(data + 8, "WEBP", 4) == 0)
        return formats::decodeWebp(data, size, image);
    if (startsWith(data, size, "II*\0", 4) || startsWith(data, size, "MM\0*", 4) || startsWith(data, size, "II+\0", 4) ||
        startsWith(data, size, "MM\0+", 4))
        return formats::decodeTiff(data, size, image);
    if (startsWith(data, size, "\xFF\x0A", 2) || startsWith(data, size, "\0\0\0\x0CJXL \r\n\x87\n", 12))
        return formats::decodeJxl(data, size, image);
    switch (isoBrand(data, size)) {
    case IsoBrand::heif: return formats::decodeHeif(data, size, image);
    case IsoBrand::avif: return formats::decodeAvif(data, size, image);
    case IsoBrand::none: break;
    }
    return false;
}

}  // namespace

bool decodePictureInto(const unsigned char* data, std::size_t size, DecodedImage& image) {
    bool decoded = false;
    image.iccProfile.clear();
    image.orientation = 0;
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
        image.iccProfile.clear();
        image.orientation = 0;
    }
    return decoded;
}

void prepareDecoders() {
    // lcms2 stamps the profiles it makes with the local time, and the C library
    // reads the time zone's file at the first such call only.
    tzset();
    formats::prepareHeif();
    formats::prepareTiff();
    formats::prepareJxl();
}

void stopDecodingWhen(bool (*stopping)()) { formats::stopCheck = stopping; }

std::optional<DecodedImage> decodePicture(const unsigned char* data, std::size_t size) {
    DecodedImage image;
    if (!decodePictureInto(data, size, image)) return std::nullopt;
    return image;
}

}  // namespace vellora::linux_platform
