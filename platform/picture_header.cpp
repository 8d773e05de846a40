#include "platform/picture_header.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

namespace vellora {
namespace {

// The file's bytes; every read says whether it fell inside them.
class Bytes {
public:
    Bytes(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t size() const { return size_; }
    bool has(std::uint64_t at, std::uint64_t count) const { return at <= size_ && count <= size_ - at; }
    bool startsWith(const char* signature, std::size_t length) const {
        return has(0, length) && std::memcmp(data_, signature, length) == 0;
    }
    std::optional<std::uint32_t> byte(std::uint64_t at) const { return read(at, 1, false); }
    std::optional<std::uint32_t> le16(std::uint64_t at) const { return read(at, 2, false); }
    std::optional<std::uint32_t> le32(std::uint64_t at) const { return read(at, 4, false); }
    std::optional<std::uint32_t> be16(std::uint64_t at) const { return read(at, 2, true); }
    std::optional<std::uint32_t> be32(std::uint64_t at) const { return read(at, 4, true); }
    std::optional<std::uint64_t> u64(std::uint64_t at, bool bigEndian) const {
        std::optional<std::uint32_t> first = read(at, 4, bigEndian), second = read(at + 4, 4, bigEndian);
        if (!first || !second) return std::nullopt;
        return bigEndian ? (std::uint64_t{*first} << 32 | *second) : (std::uint64_t{*second} << 32 | *first);
    }
    std::optional<std::uint32_t> read(std::uint64_t at, int count, bool bigEndian) const {
        if (!has(at, static_cast<std::uint64_t>(count))) return std::nullopt;
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i) {
            const std::uint32_t b = data_[at + static_cast<std::uint64_t>(bigEndian ? i : count - 1 - i)];
            value = value << 8 | b;
        }
        return value;
    }

private:
    const unsigned char* data_;
    std::size_t size_;
};

PictureHeader damaged(PictureFormat format) { return {HeaderStatus::damaged, format, 0, 0}; }

PictureHeader sized(PictureFormat format, std::uint64_t width, std::uint64_t height) {
    if (width == 0 || height == 0) return damaged(format);
    return {HeaderStatus::sized, format, width, height};
}

PictureHeader readBmp(const Bytes& b) {
    constexpr std::uint64_t fileHeader = 14;
    const std::optional<std::uint32_t> infoSize = b.le32(fileHeader);
    if (!infoSize || !b.has(fileHeader, *infoSize)) return damaged(PictureFormat::bmp);
    if (*infoSize == 12) {  // the oldest header: unsigned 16-bit sizes, always bottom-up
        return sized(PictureFormat::bmp, *b.le16(18), *b.le16(20));
    }
    constexpr std::array<std::uint32_t, 7> laterHeaders = {16, 40, 52, 56, 64, 108, 124};
    if (std::find(laterHeaders.begin(), laterHeaders.end(), *infoSize) == laterHeaders.end())
        return damaged(PictureFormat::bmp);
    const auto width = static_cast<std::int32_t>(*b.le32(18));
    const auto height = static_cast<std::int32_t>(*b.le32(22));
    if (width <= 0 || height == 0 || height == INT32_MIN) return damaged(PictureFormat::bmp);
    return sized(PictureFormat::bmp, static_cast<std::uint32_t>(width),
                 static_cast<std::uint32_t>(height < 0 ? -height : height));
}

// A decoder may lay the first image anywhere on the logical screen, so the area it
// has to hold covers both.
PictureHeader readGif(const Bytes& b) {
    const std::optional<std::uint32_t> flags = b.byte(10);
    if (!flags || !b.has(0, 13)) return damaged(PictureFormat::gif);
    const std::uint32_t screenWidth = *b.le16(6), screenHeight = *b.le16(8);
    std::uint64_t at = 13;
    if (*flags & 0x80) at += 3u << ((*flags & 7) + 1);
    for (;;) {
        const std::optional<std::uint32_t> block = b.byte(at);
        if (block == 0x2Cu) {
            if (!b.has(at, 10)) break;
            const std::uint32_t left = *b.le16(at + 1), top = *b.le16(at + 3);
            const std::uint32_t width = *b.le16(at + 5), height = *b.le16(at + 7);
            if (width == 0 || height == 0) break;
            return sized(PictureFormat::gif, std::max(screenWidth, left + width),
                         std::max(screenHeight, top + height));
        }
        if (block != 0x21u) break;  // the end, the trailer or garbage before any image
        at += 2;                    // introducer and label, then sub-blocks up to an empty one
        for (std::optional<std::uint32_t> length = b.byte(at); length && *length != 0; length = b.byte(at))
            at += 1 + *length;
        if (!b.has(at, 1)) break;
        at += 1;
    }
    return damaged(PictureFormat::gif);
}

bool isStartOfFrame(std::uint32_t marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool standsAlone(std::uint32_t marker) { return marker == 0x01 || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7); }

// Walks the markers the way decoders do: bytes between segments that are not a
// marker are skipped, as are fill bytes, so no frame hides from this reader that a
// decoder would find.
PictureHeader readJpeg(const Bytes& b) {
    std::uint64_t at = 2;
    for (;;) {
        while (b.has(at, 1) && *b.byte(at) != 0xFF) ++at;
        while (b.has(at, 1) && *b.byte(at) == 0xFF) ++at;
        const std::optional<std::uint32_t> marker = b.byte(at);
        if (!marker) break;
        ++at;
        if (*marker == 0x00 || standsAlone(*marker)) continue;
        if (*marker == 0xD9 || *marker == 0xDA) break;  // the end, or image data, before any frame
        const std::optional<std::uint32_t> length = b.be16(at);
        if (!length || *length < 2) break;
        if (isStartOfFrame(*marker)) {
            const std::optional<std::uint32_t> height = b.be16(at + 3), width = b.be16(at + 5);
            if (*length < 7 || !height || !width) break;
            return sized(PictureFormat::jpeg, *width, *height);
        }
        at += *length;
    }
    return damaged(PictureFormat::jpeg);
}

PictureHeader readPng(const Bytes& b) {
    constexpr std::uint64_t wholeHeaderChunk = 8 + 4 + 4 + 13 + 4;
    if (!b.has(0, wholeHeaderChunk) || *b.be32(8) != 13 || *b.be32(12) != 0x49484452u)  // "IHDR"
        return damaged(PictureFormat::png);
    const std::uint32_t width = *b.be32(16), height = *b.be32(20);
    if (width > INT32_MAX || height > INT32_MAX) return damaged(PictureFormat::png);
    return sized(PictureFormat::png, width, height);
}

// Classic TIFF has 12-byte entries with 32-bit counts and offsets; BigTIFF 20-byte
// entries with 64-bit ones.
struct TiffLayout {
    bool bigEndian;
    bool big;
};

PictureHeader readTiff(const Bytes& b, TiffLayout layout) {
    const bool be = layout.bigEndian;
    auto u16 = [&](std::uint64_t at) { return b.read(at, 2, be); };
    auto u32 = [&](std::uint64_t at) { return b.read(at, 4, be); };
    std::optional<std::uint64_t> directory;
    if (layout.big) {
        if (u16(4) != 8u || u16(6) != 0u) return damaged(PictureFormat::tiff);
        directory = b.u64(8, be);
    } else if (std::optional<std::uint32_t> offset = u32(4)) {
        directory = *offset;
    }
    const std::uint64_t countSize = layout.big ? 8 : 2, entrySize = layout.big ? 20 : 12;
    if (!directory || !b.has(*directory, countSize)) return damaged(PictureFormat::tiff);
    const std::uint64_t count = layout.big ? *b.u64(*directory, be) : *u16(*directory);
    const std::uint64_t entries = *directory + countSize;
    if (count > b.size() / entrySize || !b.has(entries, count * entrySize)) return damaged(PictureFormat::tiff);

    std::optional<std::uint64_t> width, height;
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t entry = entries + i * entrySize;
        const std::uint32_t tag = *u16(entry), type = *u16(entry + 2);
        if (tag != 256 && tag != 257) continue;
        const std::uint64_t values = layout.big ? *b.u64(entry + 4, be) : *u32(entry + 4);
        const std::uint64_t field = entry + (layout.big ? 12 : 8);
        std::optional<std::uint64_t> value;
        if (values == 0) return damaged(PictureFormat::tiff);
        if (type == 3) value = *u16(field);
        if (type == 4) value = *u32(field);
        if (type == 16 && layout.big) value = *b.u64(field, be);
        if (!value) return damaged(PictureFormat::tiff);
        (tag == 256 ? width : height) = value;
    }
    if (!width || !height) return damaged(PictureFormat::tiff);
    return sized(PictureFormat::tiff, *width, *height);
}

}  // namespace

PictureHeader readPictureHeader(const unsigned char* data, std::size_t size) {
    const Bytes b(data, size);
    if (b.startsWith("BM", 2)) return readBmp(b);
    if (b.startsWith("GIF87a", 6) || b.startsWith("GIF89a", 6)) return readGif(b);
    if (b.startsWith("\xFF\xD8", 2)) return readJpeg(b);
    if (b.startsWith("\x89PNG\r\n\x1A\n", 8)) return readPng(b);
    if (b.startsWith("II*\0", 4)) return readTiff(b, {false, false});
    if (b.startsWith("MM\0*", 4)) return readTiff(b, {true, false});
    if (b.startsWith("II+\0", 4)) return readTiff(b, {false, true});
    if (b.startsWith("MM\0+", 4)) return readTiff(b, {true, true});
    return {};
}

bool exceedsPixelCap(std::uint64_t width, std::uint64_t height) {
    // Either side alone past the cap would let the product wrap.
    return width > maxPicturePixels || height > maxPicturePixels || width * height > maxPicturePixels;
}

}  // namespace vellora
