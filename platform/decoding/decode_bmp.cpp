// A strict reader for Windows and OS/2 bitmaps: every offset and size in the
// headers is checked against the file before it is used, and the pixel buffer is
// allocated only when the data it needs is known to be there (or, for run-length
// data, whose length says nothing about the size, when the size fits the cap).
#include <array>
#include <bit>
#include <vector>

#include "platform/decoding/decode_formats.h"

namespace vellora::linux_platform::formats {
namespace {

constexpr std::uint32_t plainRgb = 0, rle8 = 1, rle4 = 2, bitfields = 3;
constexpr std::size_t fileHeaderSize = 14;

class Bytes {
public:
    Bytes(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}
    std::size_t size() const { return size_; }
    const unsigned char* at(std::size_t offset) const { return data_ + offset; }
    bool has(std::uint64_t offset, std::uint64_t length) const { return offset <= size_ && length <= size_ - offset; }
    unsigned u8(std::size_t offset) const { return data_[offset]; }
    std::uint32_t u16(std::size_t offset) const { return data_[offset] | (std::uint32_t{data_[offset + 1]} << 8); }
    std::uint32_t u32(std::size_t offset) const { return u16(offset) | (u16(offset + 2) << 16); }
    std::int32_t i32(std::size_t offset) const { return static_cast<std::int32_t>(u32(offset)); }

private:
    const unsigned char* data_;
    std::size_t size_;
};

// One colour channel of a 16- or 32-bit pixel, widened to eight bits the way GDI
// does it: narrower fields repeat their bits, wider ones keep their top eight.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    unsigned expand(std::uint32_t pixel) const {
        if (bits == 0) return 0;
        const std::uint32_t value = (pixel & mask) >> shift;
        if (bits >= 8) return value >> (bits - 8);
        std::uint32_t widened = 0;
        int filled = 0;
        for (; filled < 8; filled += bits) widened = (widened << bits) | value;
        return widened >> (filled - 8);
    }
};

std::optional<Channel> channelFor(std::uint32_t mask) {
    Channel channel;
    channel.mask = mask;
    if (mask == 0) return channel;
    channel.shift = std::countr_zero(mask);
    channel.bits = std::popcount(mask);
    const std::uint64_t field = (std::uint64_t{1} << channel.bits) - 1;
    if ((mask >> channel.shift) != field) return std::nullopt;
    return channel;
}

struct Layout {
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    bool topDown = false;
    unsigned bits = 0;
    std::uint32_t compression = plainRgb;
    std::array<std::uint32_t, 3> masks{};
    std::vector<std::uint32_t> palette;
    std::uint64_t pixelsAt = 0;
};

bool isKnownHeaderSize(std::uint32_t size) {
    return size == 12 || size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

bool isValidCombination(unsigned bits, std::uint32_t compression, bool topDown) {
    switch (compression) {
    case plainRgb: return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    case rle8: return bits == 8 && !topDown;
    case rle4: return bits == 4 && !topDown;
    case bitfields: return bits == 16 || bits == 32;
    default: return false;
    }
}

std::array<std::uint32_t, 3> defaultMasks(unsigned bits) {
    if (bits == 16) return {0x7C00, 0x03E0, 0x001F};
    return {0xFF0000, 0x00FF00, 0x0000FF};
}

// Reads the headers, the masks and the palette; nothing is allocated yet beyond
// the palette, which has at most 256 entries.
std::optional<Layout> readLayout(const Bytes& file) {
    if (!file.has(0, fileHeaderSize + 4)) return std::nullopt;
    const std::uint32_t headerSize = file.u32(fileHeaderSize);
    if (!isKnownHeaderSize(headerSize) || !file.has(fileHeaderSize, headerSize)) return std::nullopt;
    const std::size_t h = fileHeaderSize;
    Layout layout;
    std::uint32_t planes = 0, colorsUsed = 0;
    std::size_t paletteEntrySize = 4;
    std::uint64_t afterHeader = h + headerSize;
    if (headerSize == 12) {
        layout.width = file.u16(h + 4);
        layout.height = file.u16(h + 6);
        planes = file.u16(h + 8);
        layout.bits = file.u16(h + 10);
        paletteEntrySize = 3;
        if (layout.bits > 8 && layout.bits != 24) return std::nullopt;
    } else {
        const std::int64_t width = file.i32(h + 4), height = file.i32(h + 8);
        if (width <= 0 || height == 0) return std::nullopt;
        layout.width = static_cast<std::uint64_t>(width);
        layout.topDown = height < 0;
        layout.height = static_cast<std::uint64_t>(height < 0 ? -height : height);
        planes = file.u16(h + 12);
        layout.bits = file.u16(h + 14);
        layout.compression = file.u32(h + 16);
        colorsUsed = file.u32(h + 32);
    }
    if (planes != 1 || !fitsPixelCap(layout.width, layout.height) ||
        !isValidCombination(layout.bits, layout.compression, layout.topDown)) {
        return std::nullopt;
    }

    layout.masks = defaultMasks(layout.bits);
    if (layout.compression == bitfields) {
        // The masks close a 40-byte header; later headers hold them inside.
        const std::uint64_t masksAt = h + 40;
        if (headerSize == 40) afterHeader += 12;
        if (!file.has(masksAt, 12)) return std::nullopt;
        layout.masks = {file.u32(masksAt), file.u32(masksAt + 4), file.u32(masksAt + 8)};
    }

    if (layout.bits <= 8) {
        const std::uint32_t most = 1u << layout.bits;
        const std::uint32_t entries = colorsUsed == 0 ? most : colorsUsed;
        if (entries > most || !file.has(afterHeader, std::uint64_t{entries} * paletteEntrySize)) return std::nullopt;
        for (std::uint32_t i = 0; i < entries; ++i) {
            const std::size_t at = static_cast<std::size_t>(afterHeader + i * paletteEntrySize);
            layout.palette.push_back(rgb(file.u8(at + 2), file.u8(at + 1), file.u8(at)));
        }
        afterHeader += std::uint64_t{entries} * paletteEntrySize;
    }

    layout.pixelsAt = file.u32(10);
    if (layout.pixelsAt < afterHeader || layout.pixelsAt > file.size()) return std::nullopt;
    return layout;
}

std::uint32_t paletteColor(const Layout& layout, unsigned index) {
    return index < layout.palette.size() ? layout.palette[index] : 0;
}

unsigned indexAt(const unsigned char* row, std::uint64_t x, unsigned bits) {
    switch (bits) {
    case 1: return (row[x / 8] >> (7 - x % 8)) & 1;
    case 4: return (row[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0xF;
    default: return row[x];
    }
}

bool decodeUncompressed(const Bytes& file, const Layout& layout, DecodedImage& image) {
    const std::uint64_t stride = (layout.width * layout.bits + 31) / 32 * 4;
    if (!file.has(layout.pixelsAt, stride * layout.height)) return false;
    std::array<Channel, 3> channels;
    for (std::size_t c = 0; c < 3; ++c) {
        std::optional<Channel> channel = channelFor(layout.masks[c]);
        if (!channel) return false;
        channels[c] = *channel;
    }

    sizeImage(image, layout.width, layout.height, false);
    const std::size_t width = static_cast<std::size_t>(layout.width);
    for (std::uint64_t y = 0; y < layout.height; ++y) {
        const std::uint64_t fileRow = layout.topDown ? y : layout.height - 1 - y;
        const unsigned char* row = file.at(static_cast<std::size_t>(layout.pixelsAt + fileRow * stride));
        std::uint32_t* out = image.pixels.data() + static_cast<std::size_t>(y) * width;
        for (std::size_t x = 0; x < width; ++x) {
            switch (layout.bits) {
            case 24: out[x] = rgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]); break;
            case 16:
            case 32: {
                const std::size_t at = x * (layout.bits / 8);
                std::uint32_t pixel = row[at] | (std::uint32_t{row[at + 1]} << 8);
                if (layout.bits == 32) pixel |= (std::uint32_t{row[at + 2]} << 16) | (std::uint32_t{row[at + 3]} << 24);
                out[x] = rgb(channels[0].expand(pixel), channels[1].expand(pixel), channels[2].expand(pixel));
                break;
            }
            default: out[x] = paletteColor(layout, indexAt(row, x, layout.bits));
            }
        }
    }
    return true;
}

// Run-length data runs from the bottom row up. Pixels it skips stay black, and
// pixels it places outside the picture are dropped; data that stops before the
// end-of-bitmap code is a truncated file.
bool decodeRunLength(const Bytes& file, const Layout& layout, DecodedImage& image) {
    sizeImage(image, layout.width, layout.height, true);
    const bool nibbles = layout.compression == rle4;
    std::uint64_t x = 0, y = 0;
    auto put = [&](unsigned index) {
        if (x < layout.width && y < layout.height) {
            image.pixels[static_cast<std::size_t>((layout.height - 1 - y) * layout.width + x)] = paletteColor(layout, index);
        }
        ++x;
    };
    std::uint64_t at = layout.pixelsAt;
    while (file.has(at, 2)) {
        const unsigned count = file.u8(static_cast<std::size_t>(at)), code = file.u8(static_cast<std::size_t>(at + 1));
        at += 2;
        if (count > 0) {
            for (unsigned i = 0; i < count; ++i) put(nibbles ? (i % 2 == 0 ? code >> 4 : code & 0xF) : code);
        } else if (code == 0) {
            x = 0;
            ++y;
        } else if (code == 1) {
            return true;
        } else if (code == 2) {
            if (!file.has(at, 2)) return false;
            x += file.u8(static_cast<std::size_t>(at));
            y += file.u8(static_cast<std::size_t>(at + 1));
            at += 2;
        } else {
            const std::uint64_t length = nibbles ? (code + 1) / 2 : code;
            const std::uint64_t padded = (length + 1) / 2 * 2;
            if (!file.has(at, padded)) return false;
            const unsigned char* run = file.at(static_cast<std::size_t>(at));
            for (unsigned i = 0; i < code; ++i) put(nibbles ? indexAt(run, i, 4) : run[i]);
            at += padded;
        }
    }
    return false;
}

}  // namespace

bool decodeBmp(const unsigned char* data, std::size_t size, DecodedImage& image) {
    const Bytes file(data, size);
    const std::optional<Layout> layout = readLayout(file);
    if (!layout) return false;
    if (layout->compression == rle8 || layout->compression == rle4) return decodeRunLength(file, *layout, image);
    return decodeUncompressed(file, *layout, image);
}

}  // namespace vellora::linux_platform::formats
