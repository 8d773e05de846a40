#include "tools/gif.h"

#include <algorithm>
#include <array>
#include <unordered_map>

namespace vellora::gif {
namespace {

constexpr int maxCodeSize = 12;
constexpr int tableLimit = 1 << maxCodeSize;

class BitWriter {
public:
    void put(unsigned code, int width) {
        buffer_ |= static_cast<std::uint32_t>(code) << filled_;
        filled_ += width;
        while (filled_ >= 8) {
            bytes_.push_back(static_cast<std::uint8_t>(buffer_ & 0xFF));
            buffer_ >>= 8;
            filled_ -= 8;
        }
    }
    std::vector<std::uint8_t> finish() {
        if (filled_ > 0) bytes_.push_back(static_cast<std::uint8_t>(buffer_ & 0xFF));
        buffer_ = 0;
        filled_ = 0;
        return std::move(bytes_);
    }

private:
    std::vector<std::uint8_t> bytes_;
    std::uint32_t buffer_ = 0;
    int filled_ = 0;
};

void putWord(std::string& out, std::uint16_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8);
}

void putSubBlocks(std::string& out, const std::vector<std::uint8_t>& data) {
    for (std::size_t at = 0; at < data.size(); at += 255) {
        std::size_t n = std::min<std::size_t>(255, data.size() - at);
        out += static_cast<char>(n);
        out.append(reinterpret_cast<const char*>(data.data() + at), n);
    }
    out += '\0';
}

bool frameIsValid(const Frame& f, std::uint16_t width, std::uint16_t height, std::size_t paletteSize) {
    if (f.width == 0 || f.height == 0) return false;
    if (f.left + f.width > width || f.top + f.height > height) return false;
    if (f.indices.size() != static_cast<std::size_t>(f.width) * f.height) return false;
    if (f.transparent >= static_cast<int>(paletteSize)) return false;
    return std::all_of(f.indices.begin(), f.indices.end(), [&](std::uint8_t i) { return i < paletteSize; });
}

struct Box {
    std::vector<std::uint32_t> colours;
    int channel = 0;  // shift of the widest channel
    int range = -1;
};

int channel(std::uint32_t colour, int shift) { return static_cast<int>((colour >> shift) & 0xFF); }

void measure(Box& box) {
    box.range = -1;
    for (int shift : {16, 8, 0}) {
        auto [lo, hi] = std::minmax_element(box.colours.begin(), box.colours.end(), [&](std::uint32_t a, std::uint32_t b) {
            return channel(a, shift) < channel(b, shift);
        });
        int range = channel(*hi, shift) - channel(*lo, shift);
        if (range > box.range) {
            box.range = range;
            box.channel = shift;
        }
    }
}

std::uint32_t mean(const Box& box) {
    std::array<std::uint64_t, 3> sum{};
    for (std::uint32_t c : box.colours)
        for (int k = 0; k < 3; ++k) sum[k] += static_cast<std::uint64_t>(channel(c, 16 - 8 * k));
    std::uint32_t colour = 0;
    const std::uint64_t n = box.colours.size();
    for (int k = 0; k < 3; ++k) colour |= static_cast<std::uint32_t>((sum[k] + n / 2) / n) << (16 - 8 * k);
    return colour;
}

}  // namespace

int minCodeSizeFor(std::size_t paletteSize) {
    int bits = 2;
    while ((std::size_t{1} << bits) < paletteSize) ++bits;
    return bits;
}

std::vector<std::uint8_t> lzwCompress(const std::vector<std::uint8_t>& indices, int minCodeSize) {
    const unsigned clearCode = 1u << minCodeSize, endCode = clearCode + 1;
    BitWriter bits;
    std::unordered_map<std::uint32_t, unsigned> table;
    int codeSize = minCodeSize + 1;
    unsigned next = clearCode + 2;
    bits.put(clearCode, codeSize);
    if (indices.empty()) {
        bits.put(endCode, codeSize);
        return bits.finish();
    }
    unsigned prefix = indices[0];
    for (std::size_t i = 1; i < indices.size(); ++i) {
        const std::uint32_t key = (prefix << 8) | indices[i];
        if (auto found = table.find(key); found != table.end()) {
            prefix = found->second;
            continue;
        }
        bits.put(prefix, codeSize);
        if (next < tableLimit) {
            table.emplace(key, next);
            // The decoder learns each entry one code later, so the width grows
            // when the entry just made no longer fits the current width.
            if (next == (1u << codeSize) && codeSize < maxCodeSize) ++codeSize;
            ++next;
        } else {
            bits.put(clearCode, codeSize);
            table.clear();
            codeSize = minCodeSize + 1;
            next = clearCode + 2;
        }
        prefix = indices[i];
    }
    bits.put(prefix, codeSize);
    // The decoder adds one more entry on reading the last code, and may widen first.
    if (next == (1u << codeSize) && codeSize < maxCodeSize) ++codeSize;
    bits.put(endCode, codeSize);
    return bits.finish();
}

bool encode(std::uint16_t width, std::uint16_t height, const std::vector<std::uint32_t>& palette,
            const std::vector<Frame>& frames, std::string& out) {
    if (palette.empty() || palette.size() > 256 || width == 0 || height == 0) return false;
    for (const Frame& f : frames)
        if (!frameIsValid(f, width, height, palette.size())) return false;

    int tableBits = 1;
    while ((std::size_t{1} << tableBits) < palette.size()) ++tableBits;
    std::string gif = "GIF89a";
    putWord(gif, width);
    putWord(gif, height);
    gif += static_cast<char>(0x80 | 0x70 | (tableBits - 1));  // global table, 8-bit colour resolution
    gif += '\0';                                              // background index
    gif += '\0';                                              // square pixels
    for (std::size_t i = 0; i < (std::size_t{1} << tableBits); ++i) {
        std::uint32_t c = i < palette.size() ? palette[i] : 0;
        gif += static_cast<char>((c >> 16) & 0xFF);
        gif += static_cast<char>((c >> 8) & 0xFF);
        gif += static_cast<char>(c & 0xFF);
    }
    // Loop for ever.
    gif += "\x21\xFF\x0BNETSCAPE2.0\x03\x01";
    putWord(gif, 0);
    gif += '\0';

    const int minCodeSize = minCodeSizeFor(palette.size());
    for (const Frame& f : frames) {
        gif += "\x21\xF9\x04";
        gif += static_cast<char>((1 << 2) | (f.transparent >= 0 ? 1 : 0));
        putWord(gif, f.delayCs);
        gif += static_cast<char>(f.transparent >= 0 ? f.transparent : 0);
        gif += '\0';
        gif += '\x2C';
        putWord(gif, f.left);
        putWord(gif, f.top);
        putWord(gif, f.width);
        putWord(gif, f.height);
        gif += '\0';  // no local table, not interlaced
        gif += static_cast<char>(minCodeSize);
        putSubBlocks(gif, lzwCompress(f.indices, minCodeSize));
    }
    gif += '\x3B';
    out += gif;
    return true;
}

std::vector<std::uint32_t> medianCutPalette(const std::vector<std::uint32_t>& pixels, std::size_t maxColours) {
    if (pixels.empty() || maxColours == 0) return {};
    std::vector<Box> boxes(1);
    boxes[0].colours.assign(pixels.begin(), pixels.end());
    for (std::uint32_t& c : boxes[0].colours) c &= 0xFFFFFF;
    measure(boxes[0]);
    while (boxes.size() < maxColours) {
        auto widest = std::max_element(boxes.begin(), boxes.end(),
                                       [](const Box& a, const Box& b) { return a.range < b.range; });
        if (widest->range <= 0) break;
        Box& box = *widest;
        const int shift = box.channel;
        auto middle = box.colours.begin() + static_cast<std::ptrdiff_t>(box.colours.size() / 2);
        // A total order, so the split and the result do not depend on the sort's whims.
        std::sort(box.colours.begin(), box.colours.end(), [&](std::uint32_t a, std::uint32_t b) {
            return channel(a, shift) != channel(b, shift) ? channel(a, shift) < channel(b, shift) : a < b;
        });
        Box upper;
        upper.colours.assign(middle, box.colours.end());
        box.colours.erase(middle, box.colours.end());
        measure(box);
        measure(upper);
        boxes.push_back(std::move(upper));
    }
    std::vector<std::uint32_t> palette;
    for (const Box& box : boxes) palette.push_back(mean(box));
    return palette;
}

std::uint8_t nearestIndex(const std::vector<std::uint32_t>& palette, std::uint32_t colour) {
    std::size_t best = 0;
    long bestDistance = -1;
    for (std::size_t i = 0; i < palette.size() && i < 256; ++i) {
        long distance = 0;
        for (int shift : {16, 8, 0}) {
            long d = channel(palette[i], shift) - channel(colour, shift);
            distance += d * d;
        }
        if (bestDistance < 0 || distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return static_cast<std::uint8_t>(best);
}

}  // namespace vellora::gif
