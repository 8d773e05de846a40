#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <vector>

#include "tools/gif.h"

using namespace vellora;

namespace {

// An independent GIF LZW decoder, written the way viewers read the codes: the
// width grows as soon as the decoder's table reaches the current width's limit.
std::vector<std::uint8_t> lzwDecode(const std::vector<std::uint8_t>& data, int minCodeSize) {
    const unsigned clearCode = 1u << minCodeSize, endCode = clearCode + 1;
    std::size_t bitPos = 0;
    auto read = [&](int width, unsigned& code) {
        if (bitPos + width > data.size() * 8) return false;
        code = 0;
        for (int i = 0; i < width; ++i, ++bitPos) code |= ((data[bitPos / 8] >> (bitPos % 8)) & 1u) << i;
        return true;
    };
    std::vector<std::vector<std::uint8_t>> table;
    int width = 0;
    auto reset = [&] {
        table.assign(clearCode + 2, {});
        for (unsigned i = 0; i < clearCode; ++i) table[i] = {static_cast<std::uint8_t>(i)};
        width = minCodeSize + 1;
    };
    reset();
    std::vector<std::uint8_t> out;
    int prev = -1;
    unsigned code = 0;
    while (true) {
        if (!read(width, code)) {
            ADD_FAILURE() << "ran out of data before the end code";
            return out;
        }
        if (code == clearCode) {
            reset();
            prev = -1;
            continue;
        }
        if (code == endCode) break;
        std::vector<std::uint8_t> entry;
        if (code < table.size() && code != clearCode && code != endCode) {
            entry = table[code];
        } else if (code == table.size() && prev >= 0) {
            entry = table[prev];
            entry.push_back(table[prev][0]);
        } else {
            ADD_FAILURE() << "code " << code << " with a table of " << table.size();
            return out;
        }
        out.insert(out.end(), entry.begin(), entry.end());
        if (prev >= 0 && table.size() < 4096) {
            std::vector<std::uint8_t> added = table[prev];
            added.push_back(entry[0]);
            table.push_back(added);
            if (table.size() == (1u << width) && width < 12) ++width;
        }
        prev = static_cast<int>(code);
    }
    EXPECT_EQ((bitPos + 7) / 8, data.size()) << "bytes after the end code";
    return out;
}

std::vector<std::uint8_t> noise(std::size_t length, unsigned colours, std::uint32_t seed) {
    std::vector<std::uint8_t> v(length);
    for (auto& x : v) {
        seed = seed * 1103515245u + 12345u;
        x = static_cast<std::uint8_t>((seed >> 16) % colours);
    }
    return v;
}

}  // namespace

TEST(Gif, LzwRoundTripsAcrossCodeWidthsAndTableResets) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> indices;
        int minCodeSize;
    };
    std::vector<Case> cases = {
        {"empty", {}, 2},
        {"one index", {3}, 2},
        {"one colour, long runs", std::vector<std::uint8_t>(100000, 1), 2},
        {"two colours, noise", noise(50000, 2, 7), 2},
        {"64 colours, noise resets the table", noise(60000, 64, 9), 6},
        {"256 colours, noise", noise(30000, 256, 11), 8},
    };
    // Every length up to a few hundred codes, so the last code lands on each width change.
    for (std::size_t length = 1; length < 700; length += 1)
        cases.push_back({"noise prefix", noise(length, 5, 3), 3});
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << ", " << c.indices.size() << " indices");
        EXPECT_EQ(lzwDecode(gif::lzwCompress(c.indices, c.minCodeSize), c.minCodeSize), c.indices);
    }
}

TEST(Gif, MedianCutKeepsFewColoursExactlyAndBoundsMany) {
    const std::vector<std::uint32_t> few = {0x102030, 0xFF0000, 0x102030, 0x00FF00, 0x0000FF, 0xFF0000};
    std::vector<std::uint32_t> palette = gif::medianCutPalette(few, 8);
    EXPECT_EQ(std::set<std::uint32_t>(palette.begin(), palette.end()),
              (std::set<std::uint32_t>{0x102030, 0xFF0000, 0x00FF00, 0x0000FF}));
    for (std::uint32_t colour : few) EXPECT_EQ(palette[gif::nearestIndex(palette, colour)], colour);

    std::vector<std::uint32_t> many;
    for (std::uint32_t i = 0; i < 40000; ++i) many.push_back(i * 2654435761u & 0xFFFFFF);
    EXPECT_EQ(gif::medianCutPalette(many, 62).size(), 62u);
}

TEST(Gif, EncodeRefusesFramesThatDoNotFit) {
    const std::vector<std::uint32_t> palette = {0, 0xFFFFFF};
    struct Case {
        const char* name;
        gif::Frame frame;
        bool accepted;
    };
    const Case cases[] = {
        {"fits", {0, 0, 4, 2, std::vector<std::uint8_t>(8, 1), 5, -1}, true},
        {"reaches past the right edge", {1, 0, 4, 2, std::vector<std::uint8_t>(8, 1), 5, -1}, false},
        {"too few indices", {0, 0, 4, 2, std::vector<std::uint8_t>(7, 1), 5, -1}, false},
        {"index beyond the palette", {0, 0, 1, 1, {2}, 5, -1}, false},
        {"transparent beyond the palette", {0, 0, 1, 1, {0}, 5, 2}, false},
        {"empty", {0, 0, 0, 0, {}, 5, -1}, false},
    };
    for (const Case& c : cases) {
        std::string out;
        EXPECT_EQ(gif::encode(4, 2, palette, {c.frame}, out), c.accepted) << c.name;
        EXPECT_EQ(out.empty(), !c.accepted) << c.name;
    }
}
