#include "platform/picture_header.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace vellora {
namespace {

std::string le(std::uint64_t v, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
    return out;
}

std::string be(std::uint64_t v, int bytes) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<char>(v >> (8 * i)));
    return out;
}

// Each builder ends where the header ends, then adds a little body.
struct Sample {
    std::string bytes;
    std::size_t headerEnd;
    std::size_t signatureLength;
};

Sample bmp(std::int32_t width, std::int32_t height, std::uint32_t infoSize = 40) {
    std::string b = "BM" + le(0, 4) + le(0, 4) + le(14 + infoSize, 4) + le(infoSize, 4);
    if (infoSize == 12) {
        b += le(static_cast<std::uint32_t>(width), 2) + le(static_cast<std::uint32_t>(height), 2) + le(1, 2) + le(24, 2);
    } else {
        b += le(static_cast<std::uint32_t>(width), 4) + le(static_cast<std::uint32_t>(height), 4) + le(1, 2) + le(24, 2);
        b.resize(14 + infoSize, '\0');
    }
    return {b + std::string(12, '\x7F'), 14 + infoSize, 2};
}

Sample gif(std::uint32_t screenW, std::uint32_t screenH, std::uint32_t left, std::uint32_t top, std::uint32_t w,
           std::uint32_t h) {
    std::string b = "GIF89a" + le(screenW, 2) + le(screenH, 2) + std::string("\x80\0\0", 3) + std::string(6, '\x11');
    b += std::string("\x21\xF9\x04\x00\x00\x00\x00\x00", 8);          // graphic control extension
    b += std::string("\x21\xFE\x03" "abc\x02xy\0", 10);                // a comment in two sub-blocks
    b += "\x2C" + le(left, 2) + le(top, 2) + le(w, 2) + le(h, 2) + std::string(1, '\0');
    return {b + std::string("\x02\x02\x4C\x01\0\x3B", 6), b.size(), 6};
}

Sample jpeg(std::uint32_t width, std::uint32_t height, char frameMarker = '\xC0') {
    std::string b = "\xFF\xD8";
    b += "\xFF\xE0" + be(16, 2) + std::string("JFIF\0\x01\x01\0\0\x01\0\x01\0\0", 14);
    b += "\xFF\xDB" + be(67, 2) + std::string(65, '\x01');
    b += "junk\xFF\xFF";  // stray bytes and fill before a marker, which decoders skip
    b += std::string("\xFF") + frameMarker + be(17, 2) + "\x08" + be(height, 2) + be(width, 2);
    const std::size_t end = b.size();
    return {b + std::string("\x03\x01\x22\0\x02\x11\x01\x03\x11\x01\xFF\xD9", 12), end, 2};
}

Sample png(std::uint32_t width, std::uint32_t height) {
    std::string b = std::string("\x89PNG\r\n\x1A\n", 8) + be(13, 4) + "IHDR" + be(width, 4) + be(height, 4) +
                    std::string("\x08\x06\0\0\0", 5) + be(0x12345678, 4);
    return {b + be(2, 4) + "IDAT" + "xx" + be(0, 4), b.size(), 8};
}

Sample tiff(std::uint64_t width, std::uint64_t height, bool bigEndian, int type) {
    auto put = [&](std::uint64_t v, int bytes) { return bigEndian ? be(v, bytes) : le(v, bytes); };
    auto value = [&](std::uint64_t v) { return type == 3 ? put(v, 2) + std::string(2, '\0') : put(v, 4); };
    std::string b = (bigEndian ? std::string("MM\0*", 4) : std::string("II*\0", 4)) + put(8, 4) + put(3, 2);
    b += put(256, 2) + put(type, 2) + put(1, 4) + value(width);
    b += put(257, 2) + put(type, 2) + put(1, 4) + value(height);
    b += put(258, 2) + put(3, 2) + put(1, 4) + put(8, 2) + std::string(2, '\0');
    return {b + put(0, 4), b.size(), 4};
}

Sample bigTiff(std::uint64_t width, std::uint64_t height) {
    std::string b = std::string("II+\0", 4) + le(8, 2) + le(0, 2) + le(16, 8) + le(2, 8);
    b += le(256, 2) + le(16, 2) + le(1, 8) + le(width, 8);
    b += le(257, 2) + le(4, 2) + le(1, 8) + le(height, 8);
    return {b + le(0, 8), b.size(), 4};
}

Sample webp(const std::string& chunk, const std::string& header) {
    const std::string b = "RIFF" + le(4 + 8 + header.size() + 4, 4) + "WEBP" + chunk + le(header.size() + 4, 4) + header;
    return {b + std::string(4, '\x55'), b.size(), 12};
}
Sample webpCanvas(std::uint32_t w, std::uint32_t h) { return webp("VP8X", le(0x10, 4) + le(w - 1, 3) + le(h - 1, 3)); }
Sample webpLossless(std::uint32_t w, std::uint32_t h) { return webp("VP8L", "\x2F" + le((w - 1) | (h - 1) << 14, 4)); }
Sample webpLossy(std::uint32_t w, std::uint32_t h) { return webp("VP8 ", std::string("\x10\x02\x00\x9D\x01\x2A", 6) + le(w, 2) + le(h, 2)); }

std::string box(const std::string& type, const std::string& contents) { return be(8 + contents.size(), 4) + type + contents; }
std::string ispe(std::uint32_t w, std::uint32_t h) { return box("ispe", be(0, 4) + be(w, 4) + be(h, 4)); }

// A file-type box with these brands, then meta > iprp > ipco holding the
// properties, then the image data.
Sample iso(const std::string& brands, const std::string& properties) {
    const std::string ftyp = box("ftyp", brands.substr(0, 4) + be(0, 4) + brands.substr(4));
    const std::string meta = box("meta", be(0, 4) + box("hdlr", std::string(24, '\0')) + box("iprp", box("ipco", properties)));
    const std::string b = ftyp + meta;
    return {b + box("mdat", "xxxx"), b.size(), ftyp.size()};
}

// A JPEG XL size header: the height in 30 bits, then a ratio, or the width in 30 bits.
std::string jxlSizeHeader(std::uint32_t width, std::uint32_t height, int ratio, bool small = false) {
    std::vector<bool> bits;
    auto put = [&bits](std::uint64_t value, int count) {
        for (int i = 0; i < count; ++i) bits.push_back((value >> i) & 1);
    };
    put(small, 1);
    if (small) put(height / 8 - 1, 5);
    else put(3, 2), put(height - 1, 30);
    put(static_cast<std::uint64_t>(ratio), 3);
    if (ratio == 0 && small) put(width / 8 - 1, 5);
    else if (ratio == 0) put(3, 2), put(width - 1, 30);
    std::string out = "\xFF\x0A";
    for (std::size_t i = 0; i < bits.size(); i += 8) {
        unsigned byte = 0;
        for (std::size_t b = 0; b < 8 && i + b < bits.size(); ++b) byte |= unsigned(bits[i + b]) << b;
        out.push_back(static_cast<char>(byte));
    }
    return out;
}
Sample jxl(std::uint32_t width, std::uint32_t height, int ratio = 0, bool small = false) {
    const std::string b = jxlSizeHeader(width, height, ratio, small);
    return {b + std::string(8, '\x33'), b.size(), 2};
}
Sample jxlContainer(std::uint32_t width, std::uint32_t height, bool parts) {
    const std::string head = std::string("\0\0\0\x0CJXL \r\n\x87\n", 12) + box("ftyp", "jxl " + be(0, 4) + "jxl ");
    const std::string codestream = (parts ? be(0, 4) : "") + jxlSizeHeader(width, height, 0) + std::string(20, '\x33');
    const std::string b = head + box(parts ? "jxlp" : "jxlc", codestream);
    return {b, head.size() + 8 + (parts ? 4 : 0) + 11, 12};
}

PictureHeader read(const std::string& bytes) {
    return readPictureHeader(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

struct Case {
    const char* label;
    Sample sample;
    HeaderStatus status;
    PictureFormat format;
    std::uint64_t width = 0, height = 0;
};

const HeaderStatus sized = HeaderStatus::sized, damaged = HeaderStatus::damaged;

std::vector<Case> cases() {
    using F = PictureFormat;
    return {
        {"BMP info header", bmp(640, 480), sized, F::bmp, 640, 480},
        {"BMP top-down", bmp(640, -480), sized, F::bmp, 640, 480},
        {"BMP core header", bmp(300, 200, 12), sized, F::bmp, 300, 200},
        {"BMP OS/2 short header", bmp(30, 20, 16), sized, F::bmp, 30, 20},
        {"BMP v3 header", bmp(7, 9, 56), sized, F::bmp, 7, 9},
        {"BMP v4 header", bmp(7, 9, 108), sized, F::bmp, 7, 9},
        {"BMP v5 header", bmp(7, 9, 124), sized, F::bmp, 7, 9},
        {"BMP 100000 x 100000", bmp(100000, 100000), sized, F::bmp, 100000, 100000},
        {"BMP zero width", bmp(0, 5), damaged, F::bmp},
        {"BMP zero height", bmp(5, 0), damaged, F::bmp},
        {"BMP negative width", bmp(-5, 5), damaged, F::bmp},
        {"BMP most negative height", bmp(5, INT32_MIN), damaged, F::bmp},
        {"BMP unknown header size", bmp(5, 5, 44), damaged, F::bmp},
        {"GIF", gif(161, 121, 0, 0, 161, 121), sized, F::gif, 161, 121},
        {"GIF frame beyond the screen", gif(10, 10, 5, 6, 20, 30), sized, F::gif, 25, 36},
        {"GIF empty screen", gif(0, 0, 0, 0, 8, 4), sized, F::gif, 8, 4},
        {"GIF 65535 x 65535", gif(65535, 65535, 0, 0, 1, 1), sized, F::gif, 65535, 65535},
        {"GIF zero frame", gif(10, 10, 0, 0, 0, 10), damaged, F::gif},
        {"JPEG baseline", jpeg(240, 180), sized, F::jpeg, 240, 180},
        {"JPEG progressive", jpeg(3000, 2000, '\xC2'), sized, F::jpeg, 3000, 2000},
        {"JPEG height left to a later marker", jpeg(240, 0), damaged, F::jpeg},
        {"JPEG zero width", jpeg(0, 180), damaged, F::jpeg},
        {"PNG", png(800, 600), sized, F::png, 800, 600},
        {"PNG 30000 x 30000", png(30000, 30000), sized, F::png, 30000, 30000},
        {"PNG zero height", png(800, 0), damaged, F::png},
        {"PNG width past 2^31 - 1", png(0x80000000u, 1), damaged, F::png},
        {"TIFF little-endian SHORT", tiff(640, 480, false, 3), sized, F::tiff, 640, 480},
        {"TIFF big-endian SHORT", tiff(640, 480, true, 3), sized, F::tiff, 640, 480},
        {"TIFF little-endian LONG", tiff(70000, 3, false, 4), sized, F::tiff, 70000, 3},
        {"TIFF big-endian LONG", tiff(3, 70000, true, 4), sized, F::tiff, 3, 70000},
        {"TIFF zero width", tiff(0, 480, false, 3), damaged, F::tiff},
        {"TIFF size as text", tiff(640, 480, false, 2), damaged, F::tiff},
        {"BigTIFF 64-bit width", bigTiff(std::uint64_t{1} << 40, 2), sized, F::tiff, std::uint64_t{1} << 40, 2},
        {"WebP canvas", webpCanvas(16384, 3), sized, F::webp, 16384, 3},
        {"WebP lossless", webpLossless(300, 16384), sized, F::webp, 300, 16384},
        {"WebP lossy", webpLossy(640, 480), sized, F::webp, 640, 480},
        {"WebP lossy zero width", webpLossy(0, 480), damaged, F::webp},
        {"HEIF", iso("heicmif1heic", ispe(4032, 3024)), sized, F::heif, 4032, 3024},
        {"HEIF grid: the largest extents", iso("mif1heic", ispe(512, 512) + box("irot", "\x01") + ispe(4032, 3024) + ispe(512, 512)),
         sized, F::heif, 4032, 3024},
        {"AVIF among HEIF brands", iso("mif1mif1miafavif", ispe(30000, 30000)), sized, F::avif, 30000, 30000},
        {"AVIF without extents", iso("avifavif", box("pixi", std::string(5, '\x08'))), damaged, F::avif},
        {"JPEG XL", jxl(4000, 3000), sized, F::jxl, 4000, 3000},
        {"JPEG XL 16:9 ratio", jxl(0, 1080, 5), sized, F::jxl, 1920, 1080},
        {"JPEG XL small sides", jxl(64, 24, 0, true), sized, F::jxl, 64, 24},
        {"JPEG XL container", jxlContainer(20000, 10001, false), sized, F::jxl, 20000, 10001},
        {"JPEG XL container in parts", jxlContainer(17, 1, true), sized, F::jxl, 17, 1},
    };
}

TEST(PictureHeader, ReadsEachFormatsSize) {
    for (const Case& c : cases()) {
        const PictureHeader h = read(c.sample.bytes);
        EXPECT_EQ(h.status, c.status) << c.label;
        EXPECT_EQ(h.format, c.format) << c.label;
        EXPECT_EQ(h.width, c.width) << c.label;
        EXPECT_EQ(h.height, c.height) << c.label;
    }
}

TEST(PictureHeader, EveryCutThroughTheHeaderIsDamagedOrUnknown) {
    for (const Case& c : cases()) {
        if (c.status != sized) continue;
        const std::string& whole = c.sample.bytes;
        for (std::size_t length = 0; length < c.sample.headerEnd; ++length) {
            // An exact-size copy, so a read past the cut is a sanitizer report.
            const std::string cut = whole.substr(0, length);
            const PictureHeader h = read(cut);
            const HeaderStatus want =
                length < c.sample.signatureLength ? HeaderStatus::unknownFormat : HeaderStatus::damaged;
            EXPECT_EQ(h.status, want) << c.label << " cut to " << length;
        }
        EXPECT_EQ(read(whole.substr(0, c.sample.headerEnd)).status, sized) << c.label << " header alone";
    }
}

TEST(PictureHeader, MalformedStructure) {
    std::string noFrame = "\xFF\xD8\xFF\xE0" + be(4, 2) + "ab\xFF\xD9";
    std::string scanFirst = "\xFF\xD8\xFF\xDA" + be(4, 2) + "ab\xFF\xC0" + be(17, 2) + std::string("\x08\x01\0\x01\0", 5);
    std::string tinyLength = "\xFF\xD8\xFF\xE0" + be(1, 2) + "\xFF\xC0" + be(17, 2) + std::string("\x08\x01\0\x01\0", 5);
    std::string trailerOnly = "GIF87a" + le(5, 2) + le(5, 2) + std::string("\0\0\0\x3B", 4);
    std::string hugeDirectory = std::string("II*\0", 4) + le(8, 4) + le(0xFFFF, 2) + std::string(30, '\0');
    std::string directoryPastEnd = std::string("MM\0*", 4) + be(0xFFFFFFF0u, 4);
    std::string pngWithoutHeaderChunk = std::string("\x89PNG\r\n\x1A\n", 8) + be(13, 4) + "IDAT" + std::string(17, 0);
    struct {
        const char* label;
        std::string bytes;
        HeaderStatus want;
    } table[] = {
        {"empty", "", HeaderStatus::unknownFormat},
        {"text named .jpg", "this is not a picture\r\n", HeaderStatus::unknownFormat},
        {"JPEG ending before a frame", noFrame, damaged},
        {"JPEG scan before the frame", scanFirst, damaged},
        {"JPEG segment length below 2", tinyLength, damaged},
        {"GIF trailer before any image", trailerOnly, damaged},
        {"TIFF directory longer than the file", hugeDirectory, damaged},
        {"TIFF directory past the end", directoryPastEnd, damaged},
        {"PNG first chunk not IHDR", pngWithoutHeaderChunk, damaged},
        {"ISO file of another brand", iso("mp41isom", ispe(10, 10)).bytes, HeaderStatus::unknownFormat},
        {"HEIF properties longer than their box", iso("heic", ispe(10, 10)).bytes.replace(79, 1, "\x7F"), damaged},
        {"WebP of an unknown chunk", webp("VP9 ", std::string(10, '\1')).bytes, damaged},
        {"JPEG XL container without a codestream", std::string("\0\0\0\x0CJXL \r\n\x87\n", 12) + box("ftyp", "jxl "), damaged},
    };
    for (const auto& c : table) EXPECT_EQ(read(c.bytes).status, c.want) << c.label;
}

// The bytes as a file the reader fetches in pieces; what it hands out is counted,
// and nothing from `unreadableFrom` on can be read.
class PieceFile : public ByteSource {
public:
    explicit PieceFile(std::string bytes, std::uint64_t unreadableFrom = UINT64_MAX)
        : bytes_(std::move(bytes)), unreadableFrom_(unreadableFrom) {}
    std::uint64_t size() const override { return bytes_.size(); }
    bool read(std::uint64_t at, std::size_t count, unsigned char* out) const override {
        EXPECT_LE(at + count, bytes_.size());
        fetched += count;
        if (at + count > unreadableFrom_) return false;
        std::memcpy(out, bytes_.data() + at, count);
        return true;
    }
    mutable std::uint64_t fetched = 0;

private:
    std::string bytes_;
    std::uint64_t unreadableFrom_;
};

TEST(PictureHeader, AFileFetchedInPiecesGivesWhatItsBytesInMemoryGive) {
    for (const Case& c : cases()) {
        PieceFile file(c.sample.bytes);
        const PictureHeader pieces = readPictureHeader(file), whole = read(c.sample.bytes);
        EXPECT_EQ(pieces.status, whole.status) << c.label;
        EXPECT_EQ(pieces.format, whole.format) << c.label;
        EXPECT_EQ(pieces.width, whole.width) << c.label;
        EXPECT_EQ(pieces.height, whole.height) << c.label;
    }
}

// Where formats keep their size far into the file: each is found by fetching a
// small part of it, and what lies past the bound, or cannot be read, leaves the
// header damaged (or, for a signature that cannot be read, unknown).
TEST(PictureHeader, AFileFetchedInPiecesIsReadWhereTheSizeIsWithinABound) {
    const std::string pixels(3u << 20, '\x5A');
    const std::string tiffAtEnd = std::string("II*\0", 4) + le(8 + pixels.size(), 4) + pixels + le(2, 2) +
                                  le(256, 2) + le(4, 2) + le(1, 4) + le(4000, 4) + le(257, 2) + le(3, 2) + le(1, 4) +
                                  le(3000, 4) + le(0, 4);
    std::string largeSegments = "\xFF\xD8";
    for (int i = 0; i < 12; ++i) largeSegments += "\xFF\xE2" + be(65535, 2) + std::string(65533, '\x11');
    const std::string jpegAfterSegments = largeSegments + jpeg(6000, 4000).bytes.substr(2);
    const std::string mdatFirst = box("ftyp", "heic" + be(0, 4) + "mif1") + box("mdat", pixels) +
                                  box("meta", be(0, 4) + box("iprp", box("ipco", ispe(8000, 6000))));
    const std::string jxlAfterExif = std::string("\0\0\0\x0CJXL \r\n\x87\n", 12) + box("Exif", pixels) +
                                     box("jxlc", jxlSizeHeader(2000, 1500, 0) + std::string(20, '\x33'));
    std::string longComment = "GIF89a" + le(10, 2) + le(10, 2) + std::string("\0\0\0", 3) + "\x21\xFE";
    for (int i = 0; i < 8000; ++i) longComment += "\xFF" + std::string(255, 'c');
    longComment += std::string("\0\x2C", 2) + le(0, 2) + le(0, 2) + le(10, 2) + le(10, 2) + std::string(1, '\0');
    struct {
        const char* label;
        std::string bytes;
        std::uint64_t unreadableFrom;
        HeaderStatus status;
        std::uint64_t width, height;
    } table[] = {
        {"TIFF with its directory after the pixels", tiffAtEnd, UINT64_MAX, sized, 4000, 3000},
        {"JPEG frame after 768 KB of profile segments", jpegAfterSegments, UINT64_MAX, sized, 6000, 4000},
        {"HEIF meta box after the media data", mdatFirst, UINT64_MAX, sized, 8000, 6000},
        {"JPEG XL codestream after a large Exif box", jxlAfterExif, UINT64_MAX, sized, 2000, 1500},
        {"GIF image after 2 MB of comment, past the bound", longComment, UINT64_MAX, damaged, 0, 0},
        {"TIFF whose directory cannot be read", tiffAtEnd, 1u << 20, damaged, 0, 0},
        {"a file that cannot be read", tiffAtEnd, 0, HeaderStatus::unknownFormat, 0, 0},
    };
    for (const auto& c : table) {
        PieceFile file(c.bytes, c.unreadableFrom);
        const PictureHeader h = readPictureHeader(file);
        EXPECT_EQ(h.status, c.status) << c.label;
        EXPECT_EQ(h.width, c.width) << c.label;
        EXPECT_EQ(h.height, c.height) << c.label;
        EXPECT_LE(file.fetched, maxHeaderBytesRead) << c.label;
    }
    EXPECT_EQ(read(longComment).status, sized) << "the same GIF in memory";
}

TEST(PictureHeader, PixelCap) {
    struct {
        std::uint64_t width, height;
        bool exceeds;
    } table[] = {
        {10000, 10000, false},          {10000, 10001, true},  {1, 100000000, false},
        {1, 100000001, true},           {30000, 30000, true},  {100000, 100000, true},
        {3000, 2000, false},            {65535, 65535, true},  {UINT32_MAX, UINT32_MAX, true},
        {std::uint64_t{1} << 40, 1, true}, {std::uint64_t{1} << 33, std::uint64_t{1} << 31, true},
    };
    for (const auto& c : table)
        EXPECT_EQ(exceedsPixelCap(c.width, c.height), c.exceeds) << c.width << " x " << c.height;
}

}  // namespace
}  // namespace vellora
