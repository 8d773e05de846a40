// The EXIF reader on well-formed photos of both byte orders, and on hostile ones:
// truncated at every length, offsets and counts that point outside, directories
// that link back to themselves. The orientation of JPEG files, and the date a
// photo was taken in each format that carries EXIF, as built here and as the
// encoders write it.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/exif.h"
#include "platform/linux/date_taken.h"
#include "tests/picture_files.h"

namespace vellora {
namespace {

struct Entry {
    std::uint16_t tag, type;
    std::uint32_t count;
    std::uint32_t value;  // SHORT values sit in the field's first two bytes
};

std::string u16(std::uint32_t v, bool bigEndian) {
    const char hi = char(v >> 8 & 0xFF), lo = char(v & 0xFF);
    return bigEndian ? std::string{hi, lo} : std::string{lo, hi};
}
std::string u32(std::uint32_t v, bool bigEndian) {
    return bigEndian ? u16(v >> 16, true) + u16(v & 0xFFFF, true) : u16(v & 0xFFFF, false) + u16(v >> 16, false);
}

std::string directory(bool bigEndian, const std::vector<Entry>& entries, std::uint32_t nextIfd) {
    std::string d = u16(std::uint32_t(entries.size()), bigEndian);
    for (const Entry& e : entries)
        d += u16(e.tag, bigEndian) + u16(e.type, bigEndian) + u32(e.count, bigEndian) +
             (e.type == 3 ? u16(e.value, bigEndian) + u16(0, bigEndian) : u32(e.value, bigEndian));
    return d + u32(nextIfd, bigEndian);
}

// A TIFF header and the directory of `entries` at `ifdOffset`.
std::string tiffWith(bool bigEndian, std::uint32_t ifdOffset, const std::vector<Entry>& entries, std::uint32_t nextIfd) {
    const std::string header = (bigEndian ? "MM" : "II") + u16(42, bigEndian) + u32(ifdOffset, bigEndian);
    return header + directory(bigEndian, entries, nextIfd);
}

std::string app1Exif(const std::string& tiff, std::int32_t lengthAdjust = 0, const std::string& magic = "Exif") {
    const std::string payload = magic + std::string(2, '\0') + tiff;
    const std::uint32_t length = std::uint32_t(payload.size() + 2 + lengthAdjust);
    return "\xFF\xE1" + std::string{char(length >> 8 & 0xFF), char(length & 0xFF)} + payload;
}

const std::string jpegScan = std::string("\xFF\xDA\x00\x02", 4) + std::string(40, '\x55') + "\xFF\xD9";

// A JPEG head: SOI, optional segments, one APP1 Exif segment, then the scan.
struct ExifJpeg {
    bool bigEndian = false;
    std::vector<Entry> entries{{0x0112, 3, 1, 6}};
    std::uint32_t ifdOffset = 8;
    std::uint32_t nextIfd = 0;
    std::string before;              // whole segments before the APP1
    std::int32_t lengthAdjust = 0;   // added to the APP1 length field
    std::string magic = "Exif";

    std::string tiff() const { return tiffWith(bigEndian, ifdOffset, entries, nextIfd); }
    // The APP1 segment ends at this offset.
    std::size_t app1End() const { return 2 + before.size() + 4 + 6 + tiff().size(); }
    std::string bytes() const { return "\xFF\xD8" + before + app1Exif(tiff(), lengthAdjust, magic) + jpegScan; }
};

int orientationOf(const std::string& bytes) {
    return jpegOrientation(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

TEST(ExifOrientation, ReadsAllEightValuesInBothByteOrders) {
    for (bool bigEndian : {false, true})
        for (std::uint32_t value = 1; value <= 8; ++value) {
            ExifJpeg jpeg;
            jpeg.bigEndian = bigEndian;
            jpeg.entries = {{0x010F, 2, 4, 0}, {0x0112, 3, 1, value}, {0x011A, 5, 1, 200}};
            EXPECT_EQ(orientationOf(jpeg.bytes()), int(value)) << (bigEndian ? "MM " : "II ") << value;
        }
}

const std::string jfif = std::string("\xFF\xE0\x00\x10JFIF\0\x01\x01\0\0\x01\0\x01\0\0", 18);
const std::string xmp = std::string("\xFF\xE1\x00\x08http:/", 10);

TEST(ExifOrientation, FindsTheFirstExifSegmentAmongOthers) {
    struct Case {
        const char* what;
        std::string before;
        int want;
    } cases[] = {
        {"after JFIF", jfif, 6},
        {"after an APP1 that is not Exif", xmp, 6},
        {"after fill bytes and a restart marker", std::string("\xFF\xFF\xFF\xD0", 4), 6},
        {"not the second Exif segment", [] {
             ExifJpeg first;
             first.entries = {{0x0112, 3, 1, 3}};
             return first.bytes().substr(2, 36);
         }(), 3},
    };
    for (const Case& c : cases) {
        ExifJpeg jpeg;
        jpeg.before = c.before;
        EXPECT_EQ(orientationOf(jpeg.bytes()), c.want) << c.what;
    }
}

TEST(ExifOrientation, AnswersNoneForEverythingMalformed) {
    auto with = [](auto change) {
        ExifJpeg jpeg;
        change(jpeg);
        return jpeg.bytes();
    };
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"not a JPEG", "GIF89a" + with([](ExifJpeg&) {})},
        {"no Exif segment", "\xFF\xD8" + jfif + "\xFF\xD9"},
        {"Exif after the scan", std::string("\xFF\xD8\xFF\xDA\x00\x02", 6) + with([](ExifJpeg&) {}).substr(2)},
        {"other magic", with([](ExifJpeg& j) { j.magic = "Exig"; })},
        {"value 0", with([](ExifJpeg& j) { j.entries = {{0x0112, 3, 1, 0}}; })},
        {"value 9", with([](ExifJpeg& j) { j.entries = {{0x0112, 3, 1, 9}}; })},
        {"a LONG tag", with([](ExifJpeg& j) { j.entries = {{0x0112, 4, 1, 6}}; })},
        {"two values", with([](ExifJpeg& j) { j.entries = {{0x0112, 3, 2, 6}}; })},
        {"no tag", with([](ExifJpeg& j) { j.entries = {{0x0110, 3, 1, 6}}; })},
        {"no entries", with([](ExifJpeg& j) { j.entries = {}; })},
        {"IFD0 past the segment", with([](ExifJpeg& j) { j.ifdOffset = 200; })},
        {"IFD0 at the very end", with([](ExifJpeg& j) { j.ifdOffset = 8 + 2 + 12 + 4; })},
        {"IFD0 offset wrapping 32 bits", with([](ExifJpeg& j) { j.ifdOffset = 0xFFFFFFFEu; })},
        {"IFD0 in the header", with([](ExifJpeg& j) { j.ifdOffset = 0; })},
        {"entries past the segment", with([](ExifJpeg& j) { j.lengthAdjust = -4 - 12; })},
        {"segment longer than the file", with([](ExifJpeg& j) { j.lengthAdjust = 1000; })},
        {"segment length 0", std::string("\xFF\xD8\xFF\xE1\x00\x00Exif\0\0II", 14)},
        {"segment length 1", std::string("\xFF\xD8\xFF\xE1\x00\x01Exif\0\0II", 14)},
        {"only the Exif header", std::string("\xFF\xD8\xFF\xE1\x00\x08Exif\0\0\xFF\xD9", 14)},
        {"byte order IM", [&] {
             std::string b = with([](ExifJpeg&) {});
             b[2 + 4 + 6 + 1] = 'M';
             return b;
         }()},
        {"wrong magic number", [&] {
             std::string b = with([](ExifJpeg&) {});
             b[2 + 4 + 6 + 2] = 43;
             return b;
         }()},
        {"garbage between segments", "\xFF\xD8" + std::string("xx") + with([](ExifJpeg&) {}).substr(2)},
    };
    for (const Case& c : cases) EXPECT_EQ(orientationOf(c.bytes), noOrientation) << c.what;
}

TEST(ExifOrientation, IgnoresDirectoryLinksThatLoop) {
    // IFD0 names itself, and the header, as the next directory; only IFD0 is read.
    for (std::uint32_t next : {8u, 0u, 0xFFFFFFFFu}) {
        ExifJpeg jpeg;
        jpeg.nextIfd = next;
        EXPECT_EQ(orientationOf(jpeg.bytes()), 6);
        jpeg.entries = {{0x0110, 3, 1, 6}};
        EXPECT_EQ(orientationOf(jpeg.bytes()), noOrientation);
    }
}

TEST(ExifOrientation, ATruncatedFileHasAnOrientationOnlyOnceItsExifSegmentIsWhole) {
    for (bool bigEndian : {false, true}) {
        ExifJpeg jpeg;
        jpeg.bigEndian = bigEndian;
        jpeg.before = jfif;
        const std::string whole = jpeg.bytes();
        for (std::size_t length = 0; length <= whole.size(); ++length) {
            const std::string cut = whole.substr(0, length);
            EXPECT_EQ(orientationOf(cut), length >= jpeg.app1End() ? 6 : noOrientation) << length;
        }
    }
}


// ---- When a photo was taken.

const PhotoTime taken{2019, 8, 12, 10, 20, 30};

// A TIFF block whose IFD0 points to an Exif IFD holding DateTimeOriginal:
// IFD0 at 8, the Exif IFD at 38, the text at 68.
struct DatedTiff {
    bool bigEndian = false;
    std::string date = std::string("2019:08:12 10:20:30\0", 20);
    std::uint16_t pointerType = 4;
    std::uint32_t exifIfd = 38;
    std::uint16_t dateTag = 0x9003, dateType = 2;
    std::uint32_t dateCount = 20, dateOffset = 68;

    std::string bytes() const {
        return tiffWith(bigEndian, 8, {{0x0112, 3, 1, 1}, {0x8769, pointerType, 1, exifIfd}}, 0) +
               directory(bigEndian, {{0x9000, 7, 4, 0x30323331}, {dateTag, dateType, dateCount, dateOffset}}, 0) + date;
    }
};

std::string be16(std::uint32_t v) { return u16(v, true); }
std::string be32(std::uint32_t v) { return u32(v, true); }
std::string le32(std::uint32_t v) { return u32(v, false); }
std::string box(const std::string& type, const std::string& contents) {
    return be32(std::uint32_t(8 + contents.size())) + type + contents;
}
std::string fullBox(const std::string& type, int version, const std::string& contents) {
    return box(type, std::string{char(version), 0, 0, 0} + contents);
}
// An Exif item or box: the offset of the TIFF header after a JPEG's Exif header.
std::string exifItem(const std::string& tiff) { return be32(6) + std::string("Exif\0\0", 6) + tiff; }

std::string jpegWith(const std::string& tiff) { return "\xFF\xD8" + app1Exif(tiff) + jpegScan; }

std::string riffChunk(const std::string& type, const std::string& data) {
    return type + le32(std::uint32_t(data.size())) + data + (data.size() % 2 ? std::string(1, '\0') : "");
}
std::string webpWith(const std::string& tiff, bool exifHeader) {
    const std::string chunks = riffChunk("VP8X", std::string(10, '\x08')) + riffChunk("VP8L", std::string(21, 'x')) +
                               riffChunk("EXIF", (exifHeader ? std::string("Exif\0\0", 6) : "") + tiff);
    return "RIFF" + le32(std::uint32_t(4 + chunks.size())) + "WEBP" + chunks;
}

std::string pngChunk(const std::string& type, const std::string& data) {
    return be32(std::uint32_t(data.size())) + type + data + be32(0);
}
std::string pngWith(const std::string& tiff) {
    return "\x89PNG\r\n\x1a\n" + pngChunk("IHDR", std::string(13, '\x01')) + pngChunk("IDAT", "xx") +
           pngChunk("eXIf", tiff) + pngChunk("IEND", "");
}

const std::string jxlSignature("\0\0\0\x0CJXL \r\n\x87\n", 12);
std::string jxlWith(const std::string& tiff) {
    return jxlSignature + box("ftyp", "jxl " + be32(0) + "jxl ") + box("Exif", be32(0) + tiff) +
           box("jxlc", "\xFF\x0A" + std::string(30, 'c'));
}

struct HeifLayout {
    std::string brand = "heic";
    int ilocVersion = 0;  // 2 takes 32-bit item ids, named by version 3 item entries
    bool inIdat = false;  // the Exif item in the meta box's idat, not in mdat
    int method = -1;      // the Exif item's construction method when not the usual
    std::uint32_t lengthAdjust = 0;
};
std::string heifWith(const std::string& tiff, const HeifLayout& l) {
    const std::string image(40, 'i'), payload = exifItem(tiff);
    auto id = [&](std::uint32_t v) { return l.ilocVersion < 2 ? be16(v) : be32(v); };
    auto infe = [&](std::uint32_t item, const std::string& type) {
        return fullBox("infe", l.ilocVersion < 2 ? 2 : 3, id(item) + be16(0) + type + std::string(1, '\0'));
    };
    auto meta = [&](std::uint32_t imageAt, std::uint32_t exifAt) {
        auto item = [&](std::uint32_t itemId, int method, std::uint32_t at, std::uint32_t length) {
            return id(itemId) + (l.ilocVersion ? be16(std::uint32_t(method)) : "") + be16(0) + be16(1) + be32(at) +
                   be32(length);
        };
        const int method = l.method >= 0 ? l.method : l.inIdat ? 1 : 0;
        const std::string iloc =
            fullBox("iloc", l.ilocVersion,
                    std::string("\x44\x00", 2) + id(2) + item(1, 0, imageAt, std::uint32_t(image.size())) +
                        item(2, method, exifAt, std::uint32_t(payload.size()) + l.lengthAdjust));
        const std::string iinf = fullBox("iinf", 0, be16(2) + infe(1, "hvc1") + infe(2, "Exif"));
        const std::string hdlr = fullBox("hdlr", 0, be32(0) + "pict" + std::string(13, '\0'));
        return fullBox("meta", 0, hdlr + iinf + iloc + (l.inIdat ? box("idat", payload) : ""));
    };
    const std::string ftyp = box("ftyp", l.brand + be32(0) + "mif1" + l.brand);
    const auto imageAt = std::uint32_t(ftyp.size() + meta(0, 0).size() + 8);
    const std::uint32_t exifAt = l.inIdat ? 0 : imageAt + std::uint32_t(image.size());
    return ftyp + meta(imageAt, exifAt) + box("mdat", image + (l.inIdat ? "" : payload));
}

std::optional<PhotoTime> timeOf(const std::string& bytes, BrotliInflater inflate = linux_platform::inflateBrotli) {
    const MemoryBytes file(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    return photoTimeTaken(file, inflate);
}

using Container = std::function<std::string(const std::string& tiff)>;
const std::vector<std::pair<const char*, Container>> containers = {
    {"JPEG", jpegWith},
    {"TIFF", [](const std::string& t) { return t + std::string(64, 'p'); }},
    {"WebP", [](const std::string& t) { return webpWith(t, false); }},
    {"WebP, Exif header", [](const std::string& t) { return webpWith(t, true); }},
    {"PNG", pngWith},
    {"HEIF", [](const std::string& t) { return heifWith(t, {}); }},
    {"AVIF, item in idat", [](const std::string& t) { return heifWith(t, {"avif", 1, true}); }},
    {"HEIF, 32-bit item ids", [](const std::string& t) { return heifWith(t, {"heic", 2, false}); }},
    {"JPEG XL", jxlWith},
};

TEST(PhotoTimeTaken, ReadsTheDateOfEveryFormatAndNothingWhereTheTagIsMissingOrDamaged) {
    struct Case {
        const char* what;
        DatedTiff tiff;
        std::optional<PhotoTime> want;
    } cases[] = {
        {"little-endian", {}, taken},
        {"big-endian", {.bigEndian = true}, taken},
        {"no DateTimeOriginal", {.dateTag = 0x9004}, std::nullopt},
        {"no Exif IFD", {.exifIfd = 0xFFFF0000u}, std::nullopt},
        {"a date of type UNDEFINED", {.dateType = 7}, std::nullopt},
        {"a date that is not one", {.date = std::string("2019:13:12 10:20:30\0", 20)}, std::nullopt},
    };
    for (const auto& [format, contain] : containers)
        for (const Case& c : cases) EXPECT_EQ(timeOf(contain(c.tiff.bytes())), c.want) << format << ": " << c.what;
}

TEST(PhotoTimeTaken, TakesRealDaysAndTimesOnly) {
    auto dated = [](const char* text, std::uint32_t count = 20) {
        DatedTiff t;
        t.date = std::string(text, 19) + std::string(1, '\0');
        t.dateCount = count;
        return t;
    };
    struct Case {
        const char* what;
        DatedTiff tiff;
        std::optional<PhotoTime> want;
    } cases[] = {
        {"dashes", dated("2019-08-12 10:20:30"), taken},
        {"a T before the time", dated("2019:08:12T10:20:30"), taken},
        {"no terminating zero", dated("2019:08:12 10:20:30", 19), taken},
        {"a time of blanks", dated("2019:08:12         "), PhotoTime{2019, 8, 12, 0, 0, 0}},
        {"a leap day", dated("2020:02:29 23:59:60"), PhotoTime{2020, 2, 29, 23, 59, 60}},
        {"no leap day", dated("2019:02:29 10:20:30"), std::nullopt},
        {"the year 1900", dated("1900:02:29 10:20:30"), std::nullopt},
        {"zeros", dated("0000:00:00 00:00:00"), std::nullopt},
        {"blanks", dated("    :  :     :  :  "), std::nullopt},
        {"day 32", dated("2019:01:32 10:20:30"), std::nullopt},
        {"hour 24", dated("2019:08:12 24:00:00"), std::nullopt},
        {"mixed separators", dated("2019:08-12 10:20:30"), std::nullopt},
        {"a time cut short", dated("2019:08:12 10:20:3x"), std::nullopt},
        {"a count too short", dated("2019:08:12 10:20:30", 18), std::nullopt},
        {"text past the block", [] {
             DatedTiff t;
             t.dateOffset = 70;
             return t;
         }(), std::nullopt},
        {"a SHORT pointer", [] {
             DatedTiff t;
             t.pointerType = 3;
             return t;
         }(), std::nullopt},
        {"a pointer back to IFD0", [] {
             DatedTiff t;
             t.exifIfd = 8;
             return t;
         }(), std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(timeOf(c.tiff.bytes()), c.want) << c.what;
}

TEST(PhotoTimeTaken, AnswersNothingForContainersThatLieOrHideIt) {
    const std::string tiff = DatedTiff{}.bytes();
    const std::string webp = webpWith(tiff, false);
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"no known signature", "GIF89a" + tiff},
        {"an Exif item in another file", [&] {
             std::string h = heifWith(tiff, {});
             const std::size_t dataReference = h.find("\0\x02\0\0\0\x01") + 2;  // item 2: reference 0, one extent
             h[dataReference + 1] = 1;
             return h;
         }()},
        {"an Exif item made of other items", heifWith(tiff, {"heic", 1, false, 2})},
        {"an Exif item longer than the file", heifWith(tiff, {"heic", 0, false, -1, 1000})},
        {"an Exif item that is not in idat", heifWith(tiff, {"heic", 1, false, 1})},
        {"a WebP chunk longer than the file", webp.substr(0, webp.size() - 2)},
        {"PNG's end before eXIf", "\x89PNG\r\n\x1a\n" + pngChunk("IEND", "") + pngChunk("eXIf", tiff)},
        {"a JPEG with the Exif segment after the scan", "\xFF\xD8" + jpegScan.substr(0, 4) + app1Exif(tiff)},
        {"a JPEG XL box of size 1 with no room for its size", jxlSignature + be32(1) + "Exif"},
    };
    for (const Case& c : cases) EXPECT_EQ(timeOf(c.bytes), std::nullopt) << c.what;
}

TEST(PhotoTimeTaken, AFileCutShortGivesTheDateOnlyWhenItHoldsIt) {
    for (const auto& [format, contain] : containers) {
        const std::string whole = contain(DatedTiff{}.bytes());
        for (std::size_t length = 0; length < whole.size(); ++length) {
            const std::optional<PhotoTime> got = timeOf(whole.substr(0, length));
            if (got) {
                EXPECT_EQ(*got, taken) << format << " cut at " << length;
            }
        }
        EXPECT_EQ(timeOf(whole), taken) << format;
    }
}

// A grey JPEG photo of the encoders' kind, with the date in its Exif segment.
std::string datedJpeg(const DatedTiff& tiff) {
    test::JpegLayout layout;
    layout.width = layout.height = 16;
    layout.values.assign(16 * 16 * 3, 0x80);
    const std::string plain = test::jpegFile(layout);
    return plain.substr(0, 2) + app1Exif(tiff.bytes()) + plain.substr(2);
}

TEST(PhotoTimeTaken, ReadsWhatTheEncodersWrite) {
    const std::string jpeg = datedJpeg({.bigEndian = true});
    struct Case {
        const char* command;
        BrotliInflater inflate;
        std::optional<PhotoTime> want;
    } cases[] = {
        {"avifenc -l {in} {out}", nullptr, taken},
        {"heif-enc -q 90 {in} -o {out}", nullptr, taken},
        {"cwebp -metadata exif {in} -o {out}", nullptr, taken},
        {"cjxl {in} {out}", linux_platform::inflateBrotli, taken},  // a brob box
        {"cjxl {in} {out}", nullptr, std::nullopt},
    };
    for (const Case& c : cases) {
        const std::string file = test::encodedWith(c.command, jpeg, "in.jpg");
        ASSERT_FALSE(file.empty()) << c.command;
        EXPECT_EQ(timeOf(file, c.inflate), c.want) << c.command;
    }
}

TEST(PhotoTimeTaken, InflatesOnlyWholeStreamsWithinTheLimit) {
    const std::string jxl = test::encodedWith("cjxl {in} {out}", datedJpeg({}), "in.jpg");
    const std::size_t brob = jxl.find("brobExif");
    ASSERT_NE(brob, std::string::npos);
    const std::size_t boxSize = static_cast<std::uint8_t>(jxl[brob - 2]) * 256u + static_cast<std::uint8_t>(jxl[brob - 1]);
    const std::size_t size = boxSize - 12;
    const auto* stream = reinterpret_cast<const unsigned char*>(jxl.data() + brob + 8);
    const auto whole = linux_platform::inflateBrotli(stream, size, maxExifBytes);
    ASSERT_TRUE(whole);
    EXPECT_FALSE(linux_platform::inflateBrotli(stream, size, whole->size() - 1));
    EXPECT_FALSE(linux_platform::inflateBrotli(stream, size - 1, maxExifBytes));
}

}  // namespace
}  // namespace vellora
