// Builds small picture files in memory for the decoder tests, through the same
// libraries the decoders use (JPEG, PNG, GIF) or byte by byte (BMP), so that no
// binary test files need to be kept.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vellora::test {

struct BmpLayout {
    std::uint32_t headerSize = 40;  // 12 for the OS/2 core header, 40, 108 or 124
    std::int32_t width = 0;
    std::int32_t height = 0;  // negative for top-down rows
    std::uint16_t bits = 24;
    std::uint32_t compression = 0;
    std::vector<std::uint32_t> palette;  // 0xRRGGBB
    std::uint32_t colorsUsed = 0;
    std::array<std::uint32_t, 3> masks{};  // written for compression 3
    // Row-major from the top: palette indices, 0xRRGGBB for 24 bits, or the raw
    // 16- or 32-bit words. Ignored when runLength is set.
    std::vector<std::uint32_t> values;
    std::string runLength;  // RLE4 or RLE8 data, used as given
};
std::string bmpFile(const BmpLayout& layout);

enum class JpegSamples { rgb, gray, cmyk };
struct JpegLayout {
    int width = 0;
    int height = 0;
    JpegSamples samples = JpegSamples::rgb;
    std::vector<unsigned char> values;  // interleaved samples, row-major from the top
    bool progressive = false;
    bool subsampled = false;  // 4:2:0 instead of 4:4:4
    bool adobeMarker = true;  // for CMYK: the marker by which Adobe says its ink values are inverted
    int quality = 100;
};
struct JpegExtras {
    bool ycck = false;        // for CMYK: stored as YCCK, as Photoshop writes it
    bool arithmetic = false;  // arithmetic instead of Huffman coding
    std::string iccProfile;   // written in APP2 segments when not empty
};
std::string jpegFile(const JpegLayout& layout, const JpegExtras& extras = {});

struct PngLayout {
    int width = 0;
    int height = 0;
    int colorType = 2;  // PNG_COLOR_TYPE_*
    int bitDepth = 8;
    bool interlaced = false;
    std::vector<unsigned> values;  // samples per channel, row-major from the top
    std::vector<std::uint32_t> palette;  // 0xRRGGBB
    std::vector<unsigned char> paletteAlpha;
    std::vector<unsigned> transparentColor;  // one gray or three RGB samples
};
// With an iCCP chunk when iccProfile is not empty.
std::string pngFile(const PngLayout& layout, const std::string& iccProfile = {});

// Rewrites the width and height of the header chunk and its checksum.
std::string withPngSize(std::string png, std::uint32_t width, std::uint32_t height);
// Rewrites the width and height of the first frame header.
std::string withJpegSize(std::string jpeg, std::uint16_t width, std::uint16_t height);

struct GifFrame {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool interlaced = false;
    std::vector<std::uint32_t> colors;  // a local colour map when not empty
    std::vector<unsigned char> indices;  // row-major from the top
    int transparentIndex = -1;
};
struct GifLayout {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> colors;  // the global colour map
    std::vector<GifFrame> frames;
};
std::string gifFile(const GifLayout& layout);

// Runs a command of the Debian encoders (cwebp, avifenc, heif-enc, cjxl, convert,
// tiffset ...) in a fresh temporary folder, where {in} names a file holding
// `input` and {out} the file the command is to write; gives that file's bytes, or
// nothing when the command fails. Several commands may be joined with &&.
std::string encodedWith(const std::string& command, const std::string& input, const std::string& inputName = "in.png");

// An ICC profile of Display P3 (P3 primaries, D65, the sRGB curve), as the bytes
// a file would embed.
std::string displayP3Profile();

}  // namespace vellora::test
