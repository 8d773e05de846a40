// The formats decoded through the codec libraries (WebP, HEIF, AVIF, TIFF, JPEG
// XL), colour profiles, and what the older formats learned with them. The files
// are made at test time by the Debian encoders from PNGs that the tests write.
#include <gtest/gtest.h>
#include <lcms2.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "picture_files.h"
#include "platform/decoding/colour_profile.h"
#include "platform/decoding/decode.h"
#include "platform/decoding/orientation.h"
#include "platform/picture_header.h"

namespace vellora {
namespace {

using linux_platform::DecodedImage;
using Pixels = std::vector<std::uint32_t>;

std::optional<DecodedImage> decode(const std::string& bytes) {
    return linux_platform::decodePicture(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

// As the show takes a picture: decoded, turned upright when asked, in sRGB.
std::optional<DecodedImage> shown(const std::string& bytes, bool upright = false) {
    std::optional<DecodedImage> image = decode(bytes);
    if (!image) return image;
    if (upright) linux_platform::turnUpright(*image, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    linux_platform::convertToSrgb(*image);
    return image;
}

int channelDifference(std::uint32_t a, std::uint32_t b) {
    int most = 0;
    for (int shift : {0, 8, 16}) most = std::max(most, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
    return most;
}

// ---- Pictures to encode

// Every pixel differs from its neighbours, so that a wrong byte order, stride or
// row order shows; odd sides catch rows padded as a library likes.
constexpr int busyWidth = 17, busyHeight = 11;
std::uint32_t busyPixel(int x, int y) {
    return std::uint32_t(x * 15) << 16 | std::uint32_t((y * 23 + x * 7) & 0xFF) << 8 | std::uint32_t((x * y * 5 + 40) & 0xFF);
}
unsigned busyAlpha(int x, int y) { return (x + y) % 3 == 0 ? 255 : (x == 0 ? 0 : unsigned(x * 14 + y)); }

std::string busyPng(bool alpha) {
    test::PngLayout layout{busyWidth, busyHeight, alpha ? 6 : 2, 8, false, {}, {}, {}, {}};
    for (int y = 0; y < busyHeight; ++y)
        for (int x = 0; x < busyWidth; ++x) {
            const std::uint32_t p = busyPixel(x, y);
            layout.values.insert(layout.values.end(), {p >> 16, (p >> 8) & 0xFF, p & 0xFF});
            if (alpha) layout.values.push_back(busyAlpha(x, y));
        }
    return test::pngFile(layout);
}

Pixels busyPixels(bool alpha) {
    Pixels pixels;
    for (int y = 0; y < busyHeight; ++y)
        for (int x = 0; x < busyWidth; ++x) {
            const std::uint32_t p = busyPixel(x, y);
            const unsigned a = alpha ? busyAlpha(x, y) : 255;
            auto over = [a](std::uint32_t v) { return (v * a + 127) / 255; };
            pixels.push_back(over(p >> 16) << 16 | over((p >> 8) & 0xFF) << 8 | over(p & 0xFF));
        }
    return pixels;
}

// Four solid quadrants, which lossy codecs keep within a few levels away from
// their edges, and which show every turn and mirror.
constexpr int quadWidth = 32, quadHeight = 24;
constexpr std::uint32_t topLeft = 0xE02020, topRight = 0x20C040, bottomLeft = 0x2040E0, bottomRight = 0xF0E030;

std::string quadrantPng(const std::array<std::uint32_t, 4>& colours = {topLeft, topRight, bottomLeft, bottomRight},
                        const std::string& profile = {}) {
    test::PngLayout layout{quadWidth, quadHeight, 2, 8, false, {}, {}, {}, {}};
    for (int y = 0; y < quadHeight; ++y)
        for (int x = 0; x < quadWidth; ++x) {
            const std::uint32_t c = colours[(y < quadHeight / 2 ? 0 : 2) + (x < quadWidth / 2 ? 0 : 1)];
            layout.values.insert(layout.values.end(), {c >> 16, (c >> 8) & 0xFF, c & 0xFF});
        }
    return test::pngFile(layout, profile);
}

// The middle of each quadrant, top-left, top-right, bottom-left, bottom-right.
void expectQuadrants(const std::string& name, const std::optional<DecodedImage>& image, int width, int height,
                     const std::array<std::uint32_t, 4>& colours, int tolerance) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(image.has_value());
    ASSERT_EQ(image->width, width);
    ASSERT_EQ(image->height, height);
    for (int q = 0; q < 4; ++q) {
        const int x = (q % 2) * width / 2 + width / 4, y = (q / 2) * height / 2 + height / 4;
        const std::uint32_t got = image->pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)];
        EXPECT_LE(channelDifference(got, colours[q]), tolerance) << "quadrant " << q << std::hex << ": " << got;
        EXPECT_EQ(got >> 24, 0u);
    }
}

// The portable header reader, which guards the cap where the Windows program
// decodes these formats, sizes what the encoders write as the decoders do. A
// HEIF file may hold its picture coded larger than shown, and the reader then
// gives the coded size, which is what decoding needs room for.
void expectHeaderSize(const std::string& file, std::uint64_t width, std::uint64_t height, bool coded = false) {
    const PictureHeader header = readPictureHeader(reinterpret_cast<const unsigned char*>(file.data()), file.size());
    EXPECT_EQ(header.status, HeaderStatus::sized);
    if (coded) {
        EXPECT_GE(header.width * header.height, width * height);
        return;
    }
    EXPECT_EQ(header.width, width);
    EXPECT_EQ(header.height, height);
}

const std::string cwebp = "cwebp -quiet ", avifenc = "avifenc -j 1 ", cjxl = "cjxl --num_threads=1 ";

// ---- Every format gives its pixels

TEST(DecodeFormats, LosslessFilesGiveExactlyTheirPixels) {
    const struct {
        const char* name;
        std::string command;
        bool alpha;
    } cases[] = {
        {"webp lossless", cwebp + "-lossless {in} -o {out}", false},
        {"webp lossless with alpha", cwebp + "-lossless -exact {in} -o {out}", true},
        {"avif lossless", avifenc + "-l {in} {out}", false},
        {"avif lossless with alpha", avifenc + "-l {in} {out}", true},
        {"jxl lossless", cjxl + "-d 0 {in} {out}", false},
        {"jxl lossless with alpha", cjxl + "-d 0 {in} {out}", true},
        {"tiff uncompressed", "convert {in} -compress None TIFF:{out}", false},
        {"tiff lzw", "convert {in} -compress LZW TIFF:{out}", false},
        {"tiff deflate, tiled, big-endian", "convert {in} -compress Zip -define tiff:endian=msb -define tiff:tile-geometry=16x16 TIFF:{out}", false},
        {"tiff 16 bits", "convert {in} -depth 16 TIFF:{out}", false},
        {"tiff with unassociated alpha", "convert {in} -compress LZW TIFF:{out}", true},
        {"bigtiff", "convert {in} TIFF64:{out}", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = test::encodedWith(c.command, busyPng(c.alpha));
        ASSERT_FALSE(file.empty()) << "the encoder failed";
        const std::optional<DecodedImage> image = decode(file);
        ASSERT_TRUE(image.has_value());
        EXPECT_EQ(image->width, busyWidth);
        EXPECT_EQ(image->height, busyHeight);
        const Pixels expected = busyPixels(c.alpha);
        // The alpha of a 16-bit TIFF's samples and the codecs' own rounding of
        // alpha over black may differ from ours by one level.
        int worst = 0;
        for (std::size_t i = 0; i < expected.size() && i < image->pixels.size(); ++i)
            worst = std::max(worst, channelDifference(image->pixels[i], expected[i]));
        EXPECT_LE(worst, c.alpha ? 1 : 0);
        EXPECT_TRUE(image->iccProfile.empty());
        expectHeaderSize(file, busyWidth, busyHeight);
    }
}

TEST(DecodeFormats, LossyAndOtherLayoutsGiveTheirColours) {
    const struct {
        const char* name;
        std::string command;
        int tolerance;
    } cases[] = {
        {"webp lossy", cwebp + "-q 90 {in} -o {out}", 8},
        {"webp animation, first frame", "convert {in} -rotate 180 {in}2.png && img2webp -lossless {in} {in}2.png -o {out}", 0},
        {"avif lossy 4:2:0", avifenc + "-y 420 --min 10 --max 20 {in} {out}", 8},
        {"heic lossy", "heif-enc -q 90 {in} -o {out}", 10},
        {"heic lossless 4:4:4", "heif-enc -L -p chroma=444 {in} -o {out}", 4},
        {"heic 10 bits", "convert {in} -depth 16 PNG48:{in}16.png && heif-enc -b 10 -q 90 {in}16.png -o {out}", 10},
        {"avif 12 bits", "convert {in} -depth 16 PNG48:{in}16.png && " + avifenc + "-d 12 {in}16.png {out}", 8},
        {"jxl lossy", cjxl + "-d 1 {in} {out}", 8},
        {"jxl from a JPEG, losslessly transcoded", "convert {in} -quality 95 {in}.jpg && " + cjxl + "{in}.jpg {out}", 8},
        {"tiff palette", "convert {in} -type Palette TIFF:{out}", 0},
        {"tiff cmyk", "convert {in} -colorspace CMYK TIFF:{out}", 3},
        {"tiff ycbcr jpeg", "convert {in} -compress JPEG -quality 95 TIFF:{out}", 8},
        {"png 16 bits", "convert {in} -depth 16 PNG48:{out}", 0},
        {"png palette", "convert {in} PNG8:{out}", 0},
        {"png interlaced", "convert {in} -interlace PNG PNG24:{out}", 0},
        {"jpeg arithmetic", "convert {in} -quality 95 -define jpeg:arithmetic-coding=true JPEG:{out}", 8},
    };
    for (const auto& c : cases) {
        const std::string file = test::encodedWith(c.command, quadrantPng());
        ASSERT_FALSE(file.empty()) << c.name << ": the encoder failed";
        expectQuadrants(c.name, decode(file), quadWidth, quadHeight, {topLeft, topRight, bottomLeft, bottomRight}, c.tolerance);
        expectHeaderSize(file, quadWidth, quadHeight, c.command.find("heif-enc") != std::string::npos);
    }
}

TEST(DecodeFormats, YcckAndArithmeticProgressiveJpegsGiveTheirColours) {
    // Adobe's inverted ink in YCCK, and an arithmetic-coded progressive file.
    std::vector<unsigned char> ink, colour;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool left = x < 8;
            ink.insert(ink.end(), {static_cast<unsigned char>(left ? 255 : 200), static_cast<unsigned char>(left ? 0 : 100),
                                   static_cast<unsigned char>(left ? 0 : 50), static_cast<unsigned char>(left ? 255 : 128)});
            colour.insert(colour.end(), {static_cast<unsigned char>(left ? 200 : 20), 30, 40});
        }
    const test::JpegLayout ycck{16, 16, test::JpegSamples::cmyk, ink, false, false, true, 100};
    const std::optional<DecodedImage> a = decode(test::jpegFile(ycck, {true, false, {}}));
    ASSERT_TRUE(a.has_value());
    EXPECT_LE(channelDifference(a->pixels[4 * 16 + 3], 0xFF0000), 3);
    EXPECT_LE(channelDifference(a->pixels[4 * 16 + 12], 0x643219), 3);
    const test::JpegLayout arithmetic{16, 16, test::JpegSamples::rgb, colour, true, true, true, 100};
    const std::optional<DecodedImage> b = decode(test::jpegFile(arithmetic, {false, true, {}}));
    ASSERT_TRUE(b.has_value());
    EXPECT_LE(channelDifference(b->pixels[4 * 16 + 2], 0xC81E28), 4);
    EXPECT_LE(channelDifference(b->pixels[4 * 16 + 13], 0x141E28), 4);
}

// ---- Orientation

// The arrangement of the quadrants once each orientation value is applied.
std::array<std::uint32_t, 4> arranged(int orientation) {
    const std::uint32_t a = topLeft, b = topRight, c = bottomLeft, d = bottomRight;
    switch (orientation) {
    case 2: return {b, a, d, c};
    case 3: return {d, c, b, a};
    case 4: return {c, d, a, b};
    case 5: return {a, c, b, d};
    case 6: return {c, a, d, b};
    case 7: return {d, b, c, a};
    case 8: return {b, d, a, c};
    default: return {a, b, c, d};
    }
}

// heif-enc writes no rotation or mirror, but gives the primary image a 16-byte
// pixel-information property, which the decoder needs not: it becomes a rotation
// or a mirror of the same size, which the image then has in its place.
std::string withPixiAs(std::string heif, const char* type, int value) {
    const std::size_t at = heif.find("pixi");
    if (at == std::string::npos || heif.compare(at - 4, 4, std::string("\0\0\0\x10", 4)) != 0) return {};
    heif.replace(at, 4, type);
    heif[at + 4] = char(value);
    std::fill(heif.begin() + std::ptrdiff_t(at + 5), heif.begin() + std::ptrdiff_t(at + 12), '\0');
    return heif;
}

TEST(DecodeFormats, RotationAndMirrorBoxesAndJpegXlOrientationAlwaysApply) {
    const std::string heic = test::encodedWith("heif-enc -q 90 {in} -o {out}", quadrantPng());
    const struct {
        const char* name;
        std::string file;
        int orientation;
        int tolerance;
    } cases[] = {
        {"avif quarter anticlockwise", test::encodedWith(avifenc + "-l --irot 1 {in} {out}", quadrantPng()), 8, 0},
        {"avif half turn", test::encodedWith(avifenc + "-l --irot 2 {in} {out}", quadrantPng()), 3, 0},
        {"avif quarter clockwise", test::encodedWith(avifenc + "-l --irot 3 {in} {out}", quadrantPng()), 6, 0},
        {"avif top to bottom", test::encodedWith(avifenc + "-l --imir 0 {in} {out}", quadrantPng()), 4, 0},
        {"avif left to right", test::encodedWith(avifenc + "-l --imir 1 {in} {out}", quadrantPng()), 2, 0},
        {"avif turned, then mirrored left to right", test::encodedWith(avifenc + "-l --irot 1 --imir 1 {in} {out}", quadrantPng()), 7, 0},
        {"avif turned, then mirrored top to bottom", test::encodedWith(avifenc + "-l --irot 1 --imir 0 {in} {out}", quadrantPng()), 5, 0},
        {"heic quarter anticlockwise", withPixiAs(heic, "irot", 1), 8, 10},
        {"heic quarter clockwise", withPixiAs(heic, "irot", 3), 6, 10},
        {"heic top to bottom", withPixiAs(heic, "imir", 0), 4, 10},
        {"heic left to right", withPixiAs(heic, "imir", 1), 2, 10},
    };
    // AV1 in a file without an AVIF brand is refused, not handed to libheif's AV1
    // decoder, which leaks memory on damaged data.
    std::string av1InHeif = cases[0].file;
    for (std::size_t at = 8; at + 4 <= 32; at += 4)
        if (av1InHeif.compare(at, 4, "avif") == 0) av1InHeif.replace(at, 4, "mif1");
    EXPECT_FALSE(decode(av1InHeif).has_value());
    for (const auto& c : cases) {
        ASSERT_FALSE(c.file.empty()) << c.name;
        const bool sideways = c.orientation >= 5;
        expectQuadrants(c.name, decode(c.file), sideways ? quadHeight : quadWidth, sideways ? quadWidth : quadHeight,
                        arranged(c.orientation), c.tolerance);
    }
    // JPEG XL takes its orientation from a JPEG's EXIF tag; the codestream carries it.
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const std::string exif = std::string("Exif\0\0MM\0\x2a\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0", 25) +
                                 char(orientation) + std::string(6, '\0');
        const std::string segment = std::string("\xFF\xE1", 2) + char(0) + char(exif.size() + 2) + exif;
        const std::string jpeg = test::encodedWith("convert {in} -quality 98 -sampling-factor 1x1 JPEG:{out}", quadrantPng());
        const std::string tagged = jpeg.substr(0, 2) + segment + jpeg.substr(2);
        const std::string jxl = test::encodedWith(cjxl + "-j 0 -d 0 {in} {out}", tagged, "in.jpg");
        ASSERT_FALSE(jxl.empty());
        const bool sideways = orientation >= 5;
        expectQuadrants("jxl orientation " + std::to_string(orientation), decode(jxl), sideways ? quadHeight : quadWidth,
                        sideways ? quadWidth : quadHeight, arranged(orientation), 6);
    }
}

TEST(DecodeFormats, TiffOrientationAppliesOnlyWhenTurningUpright) {
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const std::string name = "tiff orientation " + std::to_string(orientation);
        const std::string file =
            test::encodedWith("convert {in} TIFF:{out} && tiffset -s 274 " + std::to_string(orientation) + " {out}", quadrantPng());
        ASSERT_FALSE(file.empty()) << name;
        expectQuadrants(name + " as stored", shown(file), quadWidth, quadHeight, arranged(1), 0);
        const bool sideways = orientation >= 5;
        expectQuadrants(name + " upright", shown(file, true), sideways ? quadHeight : quadWidth,
                        sideways ? quadWidth : quadHeight, arranged(orientation), 0);
    }
}

// ---- Colour profiles

double fromSrgbCurve(double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }
double toSrgbCurve(double v) { return v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1 / 2.4) - 0.055; }

// What a Display P3 colour is in sRGB, by the matrix between the two sets of
// primaries (both D65, same curve), clipped to the sRGB gamut.
std::uint32_t p3ToSrgb(std::uint32_t p3) {
    const double m[3][3] = {{1.2249401, -0.2249404, 0.0}, {-0.0420569, 1.0420571, 0.0}, {-0.0196376, -0.0786361, 1.0982735}};
    double linear[3];
    for (int c = 0; c < 3; ++c) linear[c] = fromSrgbCurve(((p3 >> (16 - 8 * c)) & 0xFF) / 255.0);
    std::uint32_t out = 0;
    for (int c = 0; c < 3; ++c) {
        const double v = m[c][0] * linear[0] + m[c][1] * linear[1] + m[c][2] * linear[2];
        out = out << 8 | std::uint32_t(std::lround(toSrgbCurve(std::clamp(v, 0.0, 1.0)) * 255));
    }
    return out;
}

std::string profileBytes(cmsHPROFILE profile) {
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::string bytes(size, '\0');
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

std::string grayProfile() {
    cmsToneCurve* curve = cmsBuildGamma(nullptr, 1.8);
    cmsHPROFILE profile = cmsCreateGrayProfile(cmsD50_xyY(), curve);
    cmsFreeToneCurve(curve);
    return profileBytes(profile);
}

// Muted colours inside both gamuts, and a P3 red outside sRGB's.
constexpr std::array<std::uint32_t, 4> p3Colours = {0xC86432, 0x3C8C5A, 0x5050B4, 0xFF0000};

TEST(ColourProfile, DisplayP3PicturesOfEveryFormatTurnIntoSrgb) {
    const std::string p3 = test::displayP3Profile();
    std::array<std::uint32_t, 4> expected;
    for (int i = 0; i < 4; ++i) expected[i] = p3ToSrgb(p3Colours[i]);
    ASSERT_GT(channelDifference(expected[0], p3Colours[0]), 10) << "the colours must move for the test to mean anything";
    const struct {
        const char* name;
        std::string command;
        int tolerance;
    } cases[] = {
        {"png iCCP", "cp {in} {out}", 2},
        {"jpeg APP2", "convert {in} -quality 100 -sampling-factor 1x1 JPEG:{out}", 4},
        {"webp ICCP", cwebp + "-lossless -metadata icc {in} -o {out}", 2},
        {"avif colr", avifenc + "-l {in} {out}", 2},
        {"heif colr", "heif-enc -L -p chroma=444 {in} -o {out}", 6},
        {"tiff", "convert {in} TIFF:{out}", 2},
        {"jxl", cjxl + "-d 0 {in} {out}", 2},
    };
    const std::string picture = quadrantPng(p3Colours, p3);
    for (const auto& c : cases) {
        const std::string prepared = test::encodedWith(c.command, picture);
        ASSERT_FALSE(prepared.empty()) << c.name << ": the encoder failed";
        ASSERT_FALSE(decode(prepared)->iccProfile.empty()) << c.name << ": the profile was not found";
        expectQuadrants(c.name, shown(prepared), quadWidth, quadHeight, expected, c.tolerance);
    }
    expectQuadrants("without the profile", shown(quadrantPng(p3Colours)), quadWidth, quadHeight, p3Colours, 0);
}

TEST(ColourProfile, SrgbDamagedAndForeignProfilesLeaveEveryPixelAlone) {
    const std::string p3 = test::displayP3Profile();
    std::string damaged = p3;
    damaged.resize(damaged.size() / 2);
    const struct {
        const char* name;
        std::string profile;
    } cases[] = {
        {"sRGB", profileBytes(cmsCreate_sRGBProfile())},
        {"cut in half", damaged},
        {"not a profile", std::string(300, 'x')},
        {"gray", grayProfile()},
        {"Lab", profileBytes(cmsCreateLab4Profile(nullptr))},
    };
    const std::optional<DecodedImage> plain = decode(busyPng(false));
    ASSERT_TRUE(plain.has_value());
    for (const auto& c : cases) {
        DecodedImage image = *plain;
        image.iccProfile.assign(c.profile.begin(), c.profile.end());
        EXPECT_FALSE(linux_platform::convertToSrgb(image)) << c.name;
        EXPECT_EQ(image.pixels, plain->pixels) << c.name;
        EXPECT_TRUE(image.iccProfile.empty()) << c.name;
    }
}

// ---- Hostile input

// The bytes at every occurrence of `box` (a four-letter box or chunk name),
// `skip` bytes after its name, overwritten with a big-endian or little-endian value.
std::string patched(std::string file, const std::string& box, std::size_t skip, std::uint32_t value, bool bigEndian, int bytes = 4) {
    std::size_t at = file.find(box);
    if (at == std::string::npos) return {};
    for (; at != std::string::npos; at = file.find(box, at + 1))
        for (int i = 0; i < bytes; ++i) {
            const int shift = bigEndian ? 8 * (bytes - 1 - i) : 8 * i;
            file[at + box.size() + skip + std::size_t(i)] = char((value >> shift) & 0xFF);
        }
    return file;
}

// A JPEG XL codestream that states its size and then ends: the size header
// (two 30-bit sides) and default metadata.
std::string jxlCodestreamHead(std::uint32_t width, std::uint32_t height) {
    std::vector<bool> bits;
    auto put = [&bits](std::uint32_t value, int count) {
        for (int i = 0; i < count; ++i) bits.push_back((value >> i) & 1);
    };
    put(0, 1);               // not a multiple of 8
    put(3, 2), put(height - 1, 30);
    put(0, 3);               // no ratio: the width follows
    put(3, 2), put(width - 1, 30);
    put(1, 1);               // all metadata default
    std::string out = "\xFF\x0A";
    for (std::size_t i = 0; i < bits.size(); i += 8) {
        unsigned byte = 0;
        for (std::size_t b = 0; b < 8 && i + b < bits.size(); ++b) byte |= unsigned(bits[i + b]) << b;
        out.push_back(char(byte));
    }
    return out + std::string(64, '\0');
}

struct HostileFile {
    std::string name;
    std::string whole;
    std::string overTheCap;
};

std::vector<HostileFile> hostileFiles() {
    const std::string png = quadrantPng(), alpha = busyPng(true);
    const std::string webp = test::encodedWith(cwebp + "-lossless {in} -o {out}", alpha);
    const std::string avif = test::encodedWith(avifenc + "{in} {out}", png);
    const std::string heic = test::encodedWith("heif-enc -q 50 {in} -o {out}", png);
    const std::string tiff = test::encodedWith("convert {in} -compress LZW TIFF:{out}", png);
    const std::string jxl = test::encodedWith(cjxl + "-d 1 {in} {out}", png);
    return {
        // After its signature byte, VP8L packs each side less one into 14 bits, then
        // the alpha bit: 16384 × 16384.
        {"webp", webp, patched(webp, "VP8L", 5, 0x1FFFFFFF, false)},
        {"avif", avif, patched(patched(avif, "ispe", 4, 20000, true), "ispe", 8, 20000, true)},
        {"heic", heic, patched(patched(heic, "ispe", 4, 20000, true), "ispe", 8, 20000, true)},
        {"tiff", tiff, test::encodedWith("cp {in} {out} && tiffset -s 256 20000 {out} && tiffset -s 257 20000 {out}", tiff, "in.tif")},
        {"jxl", jxl, jxlCodestreamHead(10001, 10000)},
    };
}

// The terminal's output of the decoders while `run` runs, which must be nothing.
template <typename Run>
std::string standardErrorOf(Run run) {
    std::fflush(stderr);
    char path[] = "/tmp/vellora-stderr-XXXXXX";
    const int capture = mkstemp(path);
    const int saved = dup(2);
    dup2(capture, 2);
    run();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::string text(4096, '\0');
    text.resize(std::size_t(std::max<ssize_t>(0, pread(capture, text.data(), text.size(), 0))));
    close(capture);
    unlink(path);
    return text;
}

TEST(DecodeFormatsHostile, TruncatedDamagedAndOversizedFilesFailQuietly) {
    const std::vector<HostileFile> files = hostileFiles();
    const std::string output = standardErrorOf([&] {
        for (const HostileFile& file : files) {
            SCOPED_TRACE(file.name);
            ASSERT_FALSE(file.whole.empty()) << "the encoder failed";
            ASSERT_TRUE(decode(file.whole).has_value());
            const std::size_t n = file.whole.size();
            for (std::size_t length : {std::size_t{0}, std::size_t{4}, std::size_t{12}, std::size_t{40}, n / 4, n / 2,
                                       n * 3 / 4, n - 40, n - 2, n - 1})
                EXPECT_FALSE(decode(file.whole.substr(0, std::min(length, n - 1))).has_value()) << "cut to " << length;
            // Bytes that no longer say anything sensible.
            std::string scrambled = file.whole;
            for (std::size_t i = n / 3; i < n; i += 7) scrambled[i] = char(scrambled[i] ^ 0x5A);
            decode(scrambled);
            ASSERT_FALSE(file.overTheCap.empty());
            EXPECT_FALSE(decode(file.overTheCap).has_value()) << "over the cap";
        }
    });
    EXPECT_EQ(output, "") << "the libraries wrote to the terminal";
}

TEST(DecodeFormatsHostile, ReusedStorageGivesWhatAFreshImageGives) {
    std::vector<std::string> sequence;
    for (const HostileFile& file : hostileFiles()) sequence.insert(sequence.end(), {file.whole, file.overTheCap});
    DecodedImage image;
    image.iccProfile = {1, 2, 3};
    image.orientation = 6;
    for (const std::string& file : sequence) {
        const std::optional<DecodedImage> fresh = decode(file);
        const bool decoded = linux_platform::decodePictureInto(reinterpret_cast<const unsigned char*>(file.data()), file.size(), image);
        ASSERT_EQ(decoded, fresh.has_value());
        EXPECT_EQ(image.pixels, decoded ? fresh->pixels : Pixels{});
        EXPECT_EQ(image.iccProfile, decoded ? fresh->iccProfile : std::vector<unsigned char>{});
        EXPECT_EQ(image.orientation, decoded ? fresh->orientation : 0);
    }
}

}  // namespace
}  // namespace vellora
