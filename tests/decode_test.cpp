#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "picture_files.h"
#include "platform/decoding/decode.h"
#include "support.h"

namespace vellora {
namespace {

using linux_platform::DecodedImage;
using Pixels = std::vector<std::uint32_t>;

std::optional<DecodedImage> decode(const std::string& bytes) {
    return linux_platform::decodePicture(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

struct Expected {
    std::int32_t width;
    std::int32_t height;
    Pixels pixels;
};

void expectPixels(const std::string& name, const std::string& file, const Expected& expected) {
    SCOPED_TRACE(name);
    const std::optional<DecodedImage> image = decode(file);
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->width, expected.width);
    EXPECT_EQ(image->height, expected.height);
    EXPECT_EQ(image->pixels, expected.pixels);
}

// ---- BMP

constexpr std::uint32_t rle8 = 1, rle4 = 2, bitfields = 3;
const Pixels fourColors = {0x102030, 0x40FF60, 0x8090A0, 0xF0E0D0};

Pixels paletteColors(const std::vector<std::uint32_t>& indices, const Pixels& palette) {
    Pixels out;
    for (std::uint32_t index : indices) out.push_back(palette[index]);
    return out;
}

TEST(DecodeBmp, EveryDepthHeaderAndRowOrderGivesThePixels) {
    Pixels gray256;
    for (std::uint32_t i = 0; i < 256; ++i) gray256.push_back(i * 0x010101);
    const std::vector<std::uint32_t> indices2 = {0, 1, 1, 1, 0, 0}, indices4 = {0, 1, 2, 3, 2, 1},
                                     indices8 = {0, 5, 255, 128, 7, 1};
    const Pixels truecolor = {0x000000, 0xFFFFFF, 0x123456, 0xFEDCBA, 0x0000FF, 0x80FF01};
    // 5-5-5 words and what GDI widens them to: fields repeat their high bits.
    const std::vector<std::uint32_t> words555 = {0x7FFF, 0x001F, 0x0200, 0x7C00, 0x0001, 0x0000};
    const Pixels colors555 = {0xFFFFFF, 0x0000FF, 0x008400, 0xFF0000, 0x000008, 0x000000};
    const std::vector<std::uint32_t> words565 = {0xFFFF, 0xF800, 0x07E0, 0x001F, 0x0820, 0x0000};
    const Pixels colors565 = {0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0x080400, 0x000000};
    // The top byte of a plain 32-bit pixel is not alpha: it is ignored.
    const std::vector<std::uint32_t> words32 = {0x80123456, 0x00FEDCBA, 0xFF000000, 0x7FFFFFFF, 0x010000FF, 0x00000001};
    const Pixels colors32 = {0x123456, 0xFEDCBA, 0x000000, 0xFFFFFF, 0x0000FF, 0x000001};
    const std::vector<std::uint32_t> wordsBgrx = {0x00563412, 0x00BADCFE, 0x00000000, 0x00FFFFFF, 0x00FF0000, 0x00010000};

    struct Case {
        std::string name;
        test::BmpLayout layout;
        Pixels expected;
    } cases[] = {
        {"1 bit", {40, 3, 2, 1, 0, {0x102030, 0xF0E0D0}, 0, {}, indices2, {}}, paletteColors(indices2, {0x102030, 0xF0E0D0})},
        {"4 bits, short palette", {40, 3, 2, 4, 0, fourColors, 4, {}, indices4, {}}, paletteColors(indices4, fourColors)},
        {"8 bits", {40, 3, 2, 8, 0, gray256, 0, {}, indices8, {}}, paletteColors(indices8, gray256)},
        {"8 bits top-down", {40, 3, -2, 8, 0, gray256, 0, {}, indices8, {}}, paletteColors(indices8, gray256)},
        {"8 bits core header", {12, 3, 2, 8, 0, gray256, 0, {}, indices8, {}}, paletteColors(indices8, gray256)},
        {"4 bits core header", {12, 3, 2, 4, 0, Pixels(16, 0x0A0B0C), 0, {}, {0, 0, 0, 0, 0, 0}, {}}, Pixels(6, 0x0A0B0C)},
        {"16 bits 5-5-5", {40, 3, 2, 16, 0, {}, 0, {}, words555, {}}, colors555},
        {"16 bits 5-6-5 fields", {40, 3, 2, 16, bitfields, {}, 0, {0xF800, 0x07E0, 0x001F}, words565, {}}, colors565},
        {"24 bits", {40, 3, 2, 24, 0, {}, 0, {}, truecolor, {}}, truecolor},
        {"24 bits top-down", {40, 3, -2, 24, 0, {}, 0, {}, truecolor, {}}, truecolor},
        {"24 bits core header", {12, 3, 2, 24, 0, {}, 0, {}, truecolor, {}}, truecolor},
        {"32 bits", {40, 3, 2, 32, 0, {}, 0, {}, words32, {}}, colors32},
        {"32 bits V4 header", {108, 3, -2, 32, 0, {}, 0, {}, words32, {}}, colors32},
        {"32 bits fields in a V5 header", {124, 3, 2, 32, bitfields, {}, 0, {0xFF, 0xFF00, 0xFF0000}, wordsBgrx, {}},
         colors32},
        {"32 bits fields after an info header", {40, 3, 2, 32, bitfields, {}, 0, {0xFF, 0xFF00, 0xFF0000}, wordsBgrx, {}},
         colors32},
    };
    for (const Case& c : cases) expectPixels(c.name, test::bmpFile(c.layout), {3, 2, c.expected});
}

TEST(DecodeBmp, RunLengthDataPlacesRunsSkipsAndClipsFromTheBottomUp) {
    const std::uint32_t k = 0x000000;
    const Pixels& p = fourColors;
    struct Case {
        std::string name;
        std::uint16_t bits;
        std::uint32_t compression;
        std::int32_t width, height;
        std::string data;
        Pixels expected;
    } cases[] = {
        // Bottom row: a run of two 1s, then an absolute run of 2, 3, 1 whose last
        // pixel falls off the right edge; end of line; a delta of (1, 1) over the
        // middle row; a run of three 2s; end of bitmap.
        {"RLE8", 8, rle8, 4, 3, std::string("\x02\x01\x00\x03\x02\x03\x01\x00\x00\x00\x00\x02\x01\x01\x03\x02\x00\x01", 18),
         {k, p[2], p[2], p[2], k, k, k, k, p[1], p[1], p[2], p[3]}},
        // Bottom row: a run of four alternating 1, 2; end of line; an absolute run
        // of three nibbles 3, 0, 1; end of bitmap.
        {"RLE4", 4, rle4, 4, 2, std::string("\x04\x12\x00\x00\x00\x03\x30\x10\x00\x01", 10),
         {p[3], p[0], p[1], k, p[1], p[2], p[1], p[2]}},
    };
    for (const Case& c : cases) {
        test::BmpLayout layout{40, c.width, c.height, c.bits, c.compression, fourColors, 4, {}, {}, c.data};
        expectPixels(c.name, test::bmpFile(layout), {c.width, c.height, c.expected});
    }
}

// ---- JPEG

struct Block {
    int x, y;
    std::uint32_t color;
};

// Solid 8 × 8 blocks come back within a few levels, away from the edges that
// chroma upsampling blends.
void expectBlocks(const std::string& name, const std::string& file, int width, int height, const std::vector<Block>& blocks) {
    SCOPED_TRACE(name);
    const std::optional<DecodedImage> image = decode(file);
    ASSERT_TRUE(image.has_value());
    ASSERT_EQ(image->width, width);
    ASSERT_EQ(image->height, height);
    for (const Block& block : blocks) {
        for (int y = block.y + 2; y < block.y + 6; ++y) {
            for (int x = block.x + 2; x < block.x + 6; ++x) {
                const std::uint32_t got = image->pixels[static_cast<std::size_t>(y * width + x)];
                EXPECT_EQ(got >> 24, 0u);
                for (int shift : {0, 8, 16}) {
                    const int difference = static_cast<int>((got >> shift) & 0xFF) - static_cast<int>((block.color >> shift) & 0xFF);
                    EXPECT_LE(std::abs(difference), 3) << "pixel " << x << "," << y;
                }
            }
        }
    }
}

// A 16 × 16 picture of four 8 × 8 blocks, interleaved as samples of each colour space.
std::vector<unsigned char> blockSamples(const std::vector<std::vector<unsigned char>>& quadrants) {
    std::vector<unsigned char> samples;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            for (unsigned char sample : quadrants[(y / 8) * 2 + x / 8]) samples.push_back(sample);
    return samples;
}

TEST(DecodeJpeg, ColourGrayAndInkGiveTheirColours) {
    using Quadrants = std::vector<std::vector<unsigned char>>;
    const Quadrants rgb = {{200, 30, 40}, {20, 180, 60}, {30, 40, 220}, {128, 128, 128}};
    const std::vector<Block> rgbBlocks = {{0, 0, 0xC81E28}, {8, 0, 0x14B43C}, {0, 8, 0x1E28DC}, {8, 8, 0x808080}};
    const Quadrants gray = {{0}, {64}, {192}, {255}};
    const std::vector<Block> grayBlocks = {{0, 0, 0x000000}, {8, 0, 0x404040}, {0, 8, 0xC0C0C0}, {8, 8, 0xFFFFFF}};
    // Adobe's inverted ink: the stored value is the light, so 255 is no ink.
    const Quadrants invertedInk = {{255, 0, 0, 255}, {0, 255, 255, 255}, {200, 100, 50, 128}, {255, 255, 255, 0}};
    const Quadrants plainInk = {{0, 255, 255, 0}, {255, 0, 0, 0}, {55, 155, 205, 127}, {0, 0, 0, 255}};
    const std::vector<Block> inkBlocks = {{0, 0, 0xFF0000}, {8, 0, 0x00FFFF}, {0, 8, 0x643219}, {8, 8, 0x000000}};

    using test::JpegSamples;
    struct Case {
        std::string name;
        JpegSamples samples;
        const Quadrants& quadrants;
        bool progressiveAndSubsampled, adobeMarker;
        const std::vector<Block>& blocks;
    } cases[] = {
        {"baseline 4:4:4", JpegSamples::rgb, rgb, false, true, rgbBlocks},
        {"progressive 4:2:0", JpegSamples::rgb, rgb, true, true, rgbBlocks},
        {"grayscale", JpegSamples::gray, gray, false, true, grayBlocks},
        {"inverted CMYK", JpegSamples::cmyk, invertedInk, false, true, inkBlocks},
        {"plain CMYK", JpegSamples::cmyk, plainInk, false, false, inkBlocks},
    };
    for (const Case& c : cases) {
        const test::JpegLayout layout{16, 16, c.samples, blockSamples(c.quadrants), c.progressiveAndSubsampled,
                                      c.progressiveAndSubsampled, c.adobeMarker, 100};
        expectBlocks(c.name, test::jpegFile(layout), 16, 16, c.blocks);
    }
}

// ---- PNG

TEST(DecodePng, EveryColourTypeAndDepthGivesThePixelsOverBlack) {
    const int gray = 0, rgb = 2, palette = 3, grayAlpha = 4, rgba = 6;
    auto over = [](std::uint32_t r, std::uint32_t g, std::uint32_t b, unsigned a) {
        return test::black | ((r * a + 127) / 255) << 16 | ((g * a + 127) / 255) << 8 | (b * a + 127) / 255;
    };
    struct Case {
        std::string name;
        test::PngLayout layout;
        Pixels expected;
    } cases[] = {
        {"rgb 8", {3, 1, rgb, 8, false, {1, 2, 3, 250, 128, 0, 0, 0, 255}, {}, {}, {}}, {0x010203, 0xFA8000, 0x0000FF}},
        {"rgb 16", {3, 1, rgb, 16, false, {0xFFFF, 0, 0x8080, 0x0101, 0x0202, 0x0303, 0, 0, 0}, {}, {}, {}}, {0xFF0080, 0x010203, 0x000000}},
        {"gray 1", {3, 1, gray, 1, false, {1, 0, 1}, {}, {}, {}}, {0xFFFFFF, 0x000000, 0xFFFFFF}},
        {"gray 2", {3, 1, gray, 2, false, {1, 2, 3}, {}, {}, {}}, {0x555555, 0xAAAAAA, 0xFFFFFF}},
        {"gray 4", {3, 1, gray, 4, false, {1, 8, 15}, {}, {}, {}}, {0x111111, 0x888888, 0xFFFFFF}},
        {"gray 16", {3, 1, gray, 16, false, {0x4040, 0, 0xFFFF}, {}, {}, {}}, {0x404040, 0x000000, 0xFFFFFF}},
        {"gray with a key colour", {3, 1, gray, 8, false, {7, 9, 7}, {}, {}, {9}}, {0x070707, 0x000000, 0x070707}},
        {"rgb with a key colour", {2, 1, rgb, 8, false, {1, 2, 3, 4, 5, 6}, {}, {}, {4, 5, 6}}, {0x010203, 0x000000}},
        {"palette 2 bits", {3, 1, palette, 2, false, {2, 0, 1}, {0xAA0000, 0x00BB00, 0x0000CC}, {}, {}}, {0x0000CC, 0xAA0000, 0x00BB00}},
        {"palette with alpha", {3, 1, palette, 8, false, {0, 1, 2}, {0xC86432, 0xFFFFFF, 0x102030}, {128, 0}, {}},
         {over(200, 100, 50, 128), 0x000000, 0x102030}},
        {"gray alpha", {2, 1, grayAlpha, 8, false, {200, 255, 200, 51}, {}, {}, {}}, {0xC8C8C8, over(200, 200, 200, 51)}},
        {"rgba", {3, 1, rgba, 8, false, {200, 100, 50, 128, 255, 255, 255, 0, 9, 8, 7, 255}, {}, {}, {}},
         {over(200, 100, 50, 128), 0x000000, 0x090807}},
        {"rgba 16", {1, 1, rgba, 16, false, {0xFFFF, 0x8080, 0, 0x8080}, {}, {}, {}}, {over(255, 128, 0, 128)}},
    };
    for (const Case& c : cases) {
        expectPixels(c.name, test::pngFile(c.layout), {c.layout.width, c.layout.height, c.expected});
    }
}

TEST(DecodePng, InterlacedPassesMergeIntoTheWholePicture) {
    test::PngLayout layout{9, 9, 2, 8, true, {}, {}, {}, {}};
    Pixels expected;
    for (unsigned i = 0; i < 81; ++i) {
        layout.values.insert(layout.values.end(), {i, 255 - i, i * 3 % 256});
        expected.push_back(i << 16 | (255 - i) << 8 | (i * 3 % 256));
    }
    expectPixels("adam7", test::pngFile(layout), {9, 9, expected});
}

// ---- GIF

TEST(DecodeGif, FirstFrameLandsOnABlackScreenWithTransparencyOverBlack) {
    const Pixels global = {0x111111, 0x222222, 0x333333, 0x444444};
    const std::uint32_t k = 0x000000;
    test::GifFrame placed{1, 1, 2, 2, false, {}, {0, 1, 2, 3}, 2};
    test::GifFrame local{0, 0, 2, 1, false, {0xAA0000, 0x00BB00}, {1, 0}, -1};
    test::GifFrame interlaced{0, 0, 1, 9, true, {}, {0, 1, 2, 3, 0, 1, 2, 3, 0}, -1};
    test::GifFrame cutOff{2, 1, 3, 2, false, {}, {1, 1, 2, 3, 3, 3}, -1};
    test::GifFrame second{0, 0, 4, 3, false, {}, std::vector<unsigned char>(12, 3), -1};
    struct Case {
        std::string name;
        test::GifLayout layout;
        Expected expected;
    } cases[] = {
        {"placed with a transparent index", {4, 3, global, {placed}}, {4, 3, {k, k, k, k, k, global[0], global[1], k, k, k, global[3], k}}},
        {"local colours", {2, 1, global, {local}}, {2, 1, {0x00BB00, 0xAA0000}}},
        {"interlaced rows", {1, 9, global, {interlaced}}, {1, 9, paletteColors({0, 1, 2, 3, 0, 1, 2, 3, 0}, global)}},
        {"clipped at the screen's edge", {3, 2, global, {cutOff}}, {3, 2, {k, k, k, k, k, global[1]}}},
        {"later frames ignored", {4, 3, global, {placed, second}}, {4, 3, {k, k, k, k, k, global[0], global[1], k, k, k, global[3], k}}},
    };
    for (const Case& c : cases) expectPixels(c.name, test::gifFile(c.layout), c.expected);
}

TEST(DecodeGif, AnIndexPastTheColourMapIsBlack) {
    // One pixel of index 3 against a two-colour map, in 2-bit LZW codes: clear, 3, end.
    const unsigned char bytes[] = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 10, 20, 30, 40, 50, 60,
                                   0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x5C, 0x01, 0, 0x3B};
    expectPixels("index 3", std::string(reinterpret_cast<const char*>(bytes), sizeof bytes), {1, 1, {0x000000}});
}

// ---- Hostile input

std::string smallBmp() { return test::bmpFile({40, 3, 2, 24, 0, {}, 0, {}, Pixels(6, 0x123456), {}}); }
std::string smallRunLengthBmp() {
    return test::bmpFile({40, 4, 2, 8, rle8, fourColors, 4, {}, {}, std::string("\x04\x01\x00\x00\x04\x02\x00\x01", 8)});
}
std::string smallJpeg() { return test::jpegFile({16, 16, test::JpegSamples::rgb, std::vector<unsigned char>(768, 99), false, false, true, 100}); }
std::string smallPng() { return test::pngFile({3, 2, 2, 8, false, std::vector<unsigned>(18, 5), {}, {}, {}}); }
std::string smallGif() {
    return test::gifFile({3, 2, {0x111111, 0x222222}, {{0, 0, 3, 2, false, {}, {0, 1, 0, 1, 0, 1}, -1}}});
}

std::string bmpHeader(std::int32_t width, std::int32_t height, std::uint16_t bits = 24) {
    return test::bmpFile({40, width, height, bits, 0, {}, 0, {}, {}, std::string(16, '\0')});
}

// Every cut is caught, while bytes after a file's end (which cameras and editors
// leave) are not taken for damage.
TEST(DecodeHostile, EveryTruncationOfEveryFormatFails) {
    const std::pair<std::string, std::string> files[] = {
        {"bmp", smallBmp()}, {"rle bmp", smallRunLengthBmp()}, {"jpeg", smallJpeg()}, {"png", smallPng()}, {"gif", smallGif()},
    };
    for (const auto& [name, file] : files) {
        ASSERT_TRUE(decode(file).has_value()) << name;
        EXPECT_TRUE(decode(file + "trailing bytes\xFF\xD8").has_value()) << name;
        for (std::size_t length = 0; length < file.size(); ++length) {
            EXPECT_FALSE(decode(file.substr(0, length)).has_value()) << name << " cut to " << length << " bytes";
        }
    }
}

TEST(DecodeHostile, FilesThatLieOrAreNotPicturesFail) {
    std::string wrongPlanes = smallBmp();
    wrongPlanes[26] = 2;
    std::string pastTheEnd = smallBmp();
    pastTheEnd[10] = static_cast<char>(0xF0);
    const std::pair<std::string, std::string> cases[] = {
        {"no bytes", ""},
        {"a text file", "These are my holiday pictures.\r\n"},
        {"a text file that starts like a bitmap", "BMW owners' club: minutes of the meeting\n"},
        {"a signature alone", "\x89PNG\r\n\x1A\n"},
        {"bmp width 0", bmpHeader(0, 2)},
        {"bmp height 0", bmpHeader(3, 0)},
        {"bmp negative width", bmpHeader(-3, 2)},
        {"bmp lowest height", bmpHeader(3, INT32_MIN)},
        {"bmp core header width 0", test::bmpFile({12, 0, 2, 24, 0, {}, 0, {}, {}, std::string(16, '\0')})},
        {"bmp 100000 x 100000", bmpHeader(100000, 100000)},
        {"bmp just over the cap", bmpHeader(10001, 10000)},
        {"bmp at the cap without its data", bmpHeader(10000, 10000)},
        {"bmp 1 x 100000000 without its data", bmpHeader(1, 100'000'000, 8)},
        {"bmp two planes", wrongPlanes},
        {"bmp pixels past the end", pastTheEnd},
        {"bmp 2 bits", test::bmpFile({40, 3, 2, 2, 0, fourColors, 0, {}, {0, 1, 2, 3, 0, 1}, {}})},
        {"bmp palette over 256", test::bmpFile({40, 3, 2, 8, 0, fourColors, 257, {}, {0, 1, 2, 3, 0, 1}, {}})},
        {"bmp top-down run lengths", test::bmpFile({40, 4, -2, 8, rle8, fourColors, 4, {}, {}, std::string("\x00\x01", 2)})},
        {"bmp scattered mask", test::bmpFile({40, 3, 2, 32, bitfields, {}, 0, {0xF0F0, 0xFF0000, 0xFF}, Pixels(6, 0), {}})},
        {"bmp embedded JPEG", test::bmpFile({40, 3, 2, 24, 4, {}, 0, {}, Pixels(6, 0), {}})},
        {"png width 0", test::withPngSize(smallPng(), 0, 2)},
        {"png negative width", test::withPngSize(smallPng(), 0x80000000u, 2)},
        {"png 30000 x 30000", test::withPngSize(smallPng(), 30000, 30000)},
        {"png just over the cap", test::withPngSize(smallPng(), 10001, 10000)},
        {"png at the cap with a tiny body", test::withPngSize(smallPng(), 10000, 10000)},
        {"jpeg height 0", test::withJpegSize(smallJpeg(), 16, 0)},
        {"jpeg just over the cap", test::withJpegSize(smallJpeg(), 10001, 10000)},
        {"jpeg at the cap with a tiny body", test::withJpegSize(smallJpeg(), 10000, 10000)},
        {"gif screen 0 x 2", test::gifFile({0, 2, {0, 0}, {{0, 0, 1, 1, false, {}, {0}, -1}}})},
        {"gif screen just over the cap", test::gifFile({10001, 10000, {0, 0}, {{0, 0, 1, 1, false, {}, {0}, -1}}})},
        {"gif without a frame", test::gifFile({2, 2, {0, 0}, {}})},
    };
    for (const auto& [name, file] : cases) EXPECT_FALSE(decode(file).has_value()) << name;
}

// One case only: a picture at the cap takes seconds to clear in a sanitized build.
TEST(DecodeHostile, APictureAtTheCapDecodes) {
    const std::optional<DecodedImage> image = decode(test::gifFile({10000, 10000, {0x0000FF, 0}, {{0, 0, 1, 1, false, {}, {0}, -1}}}));
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->pixels.size(), linux_platform::maxDecodedPixels);
    EXPECT_EQ(image->pixels[0], 0x0000FFu);
}

// ---- Reused storage

// Pictures decoded one after another into one image come out as if each were
// decoded alone: nothing of the previous picture shows through the black of the
// next, and a failure leaves no picture.
TEST(DecodeInto, ReusedStorageGivesWhatAFreshImageGives) {
    const std::string white = test::bmpFile({40, 5, 4, 24, 0, {}, 0, {}, Pixels(20, 0xFFFFFF), {}});
    const std::string sparseGif = test::gifFile({4, 3, {0x111111, 0x222222}, {{1, 1, 1, 1, false, {}, {1}, -1}}});
    const std::string sparseRunLength =
        test::bmpFile({40, 4, 3, 8, rle8, fourColors, 4, {}, {}, std::string("\x00\x02\x01\x01\x01\x02\x00\x01", 8)});
    const std::string sequence[] = {white, sparseGif, white, sparseRunLength, smallJpeg(), smallPng(), white, "not a picture", smallGif()};
    DecodedImage image;
    for (const std::string& file : sequence) {
        const std::optional<DecodedImage> fresh = decode(file);
        const bool decoded = linux_platform::decodePictureInto(reinterpret_cast<const unsigned char*>(file.data()), file.size(), image);
        ASSERT_EQ(decoded, fresh.has_value());
        if (!decoded) {
            EXPECT_EQ(image.width, 0);
            EXPECT_EQ(image.height, 0);
            continue;
        }
        EXPECT_EQ(image.width, fresh->width);
        EXPECT_EQ(image.height, fresh->height);
        EXPECT_EQ(image.pixels, fresh->pixels);
    }
}

// ---- The test platform decodes the same way.

TEST(DecodeOnTestPlatform, LoadsEveryFormatAtNinetySixPixelsPerInch) {
    test::Screen screen;
    const std::pair<std::string, std::string> files[] = {
        {"a.bmp", smallBmp()}, {"a.jpg", smallJpeg()}, {"a.png", smallPng()}, {"a.gif", smallGif()}, {"png.bmp", smallPng()},
    };
    for (const auto& [path, bytes] : files) {
        screen.platform.memoryFiles().files[path] = bytes;
        const std::unique_ptr<Picture> picture = screen.platform.loadPictureFile(path);
        ASSERT_NE(picture, nullptr) << path;
        const DecodedImage expected = *decode(bytes);
        EXPECT_EQ(picture->widthHimetric(), test::himetricFromPixels(expected.width)) << path;
        EXPECT_EQ(picture->heightHimetric(), test::himetricFromPixels(expected.height)) << path;
        EXPECT_EQ(static_cast<const test::TestPicture&>(*picture).image().pixels, expected.pixels) << path;
    }
}

}  // namespace
}  // namespace vellora
