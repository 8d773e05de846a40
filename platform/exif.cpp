#include "platform/exif.h"

#include <cstring>

namespace vellora {
namespace {

constexpr unsigned char markerStart = 0xFF;
constexpr unsigned char startOfImage = 0xD8;
constexpr unsigned char endOfImage = 0xD9;
constexpr unsigned char startOfScan = 0xDA;
constexpr unsigned char app1 = 0xE1;
constexpr std::uint16_t orientationTag = 0x0112;
constexpr std::uint16_t typeShort = 3;
constexpr std::size_t ifdEntrySize = 12;

// A bounded view of bytes; every read says whether it stayed inside.
class Bytes {
public:
    Bytes(const unsigned char* data, std::size_t size, bool bigEndian = true)
        : data_(data), size_(size), bigEndian_(bigEndian) {}
    std::size_t size() const { return size_; }
    bool has(std::uint64_t offset, std::uint64_t length) const {
        return offset <= size_ && length <= size_ - offset;
    }
    bool u16(std::uint64_t offset, std::uint16_t& out) const {
        if (!has(offset, 2)) return false;
        const unsigned char* p = data_ + offset;
        out = bigEndian_ ? static_cast<std::uint16_t>(p[0] << 8 | p[1]) : static_cast<std::uint16_t>(p[1] << 8 | p[0]);
        return true;
    }
    bool u32(std::uint64_t offset, std::uint32_t& out) const {
        std::uint16_t first = 0, second = 0;
        if (!u16(offset, first) || !u16(offset + 2, second)) return false;
        out = bigEndian_ ? (std::uint32_t{first} << 16 | second) : (std::uint32_t{second} << 16 | first);
        return true;
    }
    bool startsWith(std::uint64_t offset, const char* text, std::size_t length) const {
        return has(offset, length) && std::memcmp(data_ + offset, text, length) == 0;
    }
    unsigned char at(std::size_t offset) const { return data_[offset]; }
    // The bytes from offset on, which the caller has checked are there.
    Bytes slice(std::size_t offset, std::size_t length, bool bigEndian) const {
        return {data_ + offset, length, bigEndian};
    }

private:
    const unsigned char* data_;
    std::size_t size_;
    bool bigEndian_;
};

int orientationInTiff(const Bytes& segment, std::size_t tiffStart) {
    bool bigEndian = false;
    if (segment.startsWith(tiffStart, "MM", 2))
        bigEndian = true;
    else if (!segment.startsWith(tiffStart, "II", 2))
        return noOrientation;
    const Bytes tiff = segment.slice(tiffStart, segment.size() - tiffStart, bigEndian);
    std::uint16_t magic = 0, count = 0;
    std::uint32_t ifd = 0;
    if (!tiff.u16(2, magic) || magic != 42 || !tiff.u32(4, ifd) || !tiff.u16(ifd, count)) return noOrientation;
    if (!tiff.has(std::uint64_t{ifd} + 2, std::uint64_t{count} * ifdEntrySize)) return noOrientation;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t entry = std::uint64_t{ifd} + 2 + std::uint64_t{i} * ifdEntrySize;
        std::uint16_t tag = 0, type = 0, value = 0;
        std::uint32_t values = 0;
        tiff.u16(entry, tag);
        if (tag != orientationTag) continue;
        tiff.u16(entry + 2, type);
        tiff.u32(entry + 4, values);
        tiff.u16(entry + 8, value);
        if (type != typeShort || values != 1 || value < 1 || value > 8) return noOrientation;
        return value;
    }
    return noOrientation;
}

}  // namespace

int jpegOrientation(const unsigned char* data, std::size_t size) {
    const Bytes file(data, size);
    if (size < 2 || file.at(0) != markerStart || file.at(1) != startOfImage) return noOrientation;
    std::size_t pos = 2;
    // Each round moves past at least one byte, so the walk ends within the file.
    while (pos < size) {
        if (file.at(pos) != markerStart) return noOrientation;
        while (pos < size && file.at(pos) == markerStart) ++pos;  // fill bytes
        if (pos >= size) return noOrientation;
        const unsigned char marker = file.at(pos++);
        if (marker == startOfScan || marker == endOfImage || marker == startOfImage) return noOrientation;
        const bool standalone = marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7);
        if (standalone) continue;
        std::uint16_t length = 0;
        if (!file.u16(pos, length) || length < 2 || !file.has(pos, length)) return noOrientation;
        const Bytes segment = file.slice(pos + 2, length - 2u, true);
        if (marker == app1 && segment.startsWith(0, "Exif\0\0", 6)) return orientationInTiff(segment, 6);
        pos += length;
    }
    return noOrientation;
}

}  // namespace vellora
