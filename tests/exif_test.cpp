// The EXIF orientation reader on well-formed photos of both byte orders, and on
// hostile ones: truncated at every length, offsets and counts that point outside,
// directories that link back to themselves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/exif.h"

namespace vellora {
namespace {

struct Entry {
    std::uint16_t tag, type;
    std::uint32_t count;
    std::uint32_t value;  // SHORT values sit in the field's first two bytes
};

// A JPEG head: SOI, optional segments, one APP1 Exif segment, then the scan.
struct ExifJpeg {
    bool bigEndian = false;
    std::vector<Entry> entries{{0x0112, 3, 1, 6}};
    std::uint32_t ifdOffset = 8;
    std::uint32_t nextIfd = 0;
    std::string before;              // whole segments before the APP1
    std::int32_t lengthAdjust = 0;   // added to the APP1 length field
    std::string magic = "Exif";

    std::string u16(std::uint32_t v) const {
        const char hi = char(v >> 8 & 0xFF), lo = char(v & 0xFF);
        return bigEndian ? std::string{hi, lo} : std::string{lo, hi};
    }
    std::string u32(std::uint32_t v) const {
        return bigEndian ? u16(v >> 16) + u16(v & 0xFFFF) : u16(v & 0xFFFF) + u16(v >> 16);
    }
    std::string tiff() const {
        std::string t = bigEndian ? "MM" : "II";
        t += u16(42) + u32(ifdOffset) + u16(std::uint32_t(entries.size()));
        for (const Entry& e : entries)
            t += u16(e.tag) + u16(e.type) + u32(e.count) + (e.type == 3 ? u16(e.value) + u16(0) : u32(e.value));
        return t + u32(nextIfd);
    }
    // The APP1 segment ends at this offset.
    std::size_t app1End() const { return 2 + before.size() + 4 + 6 + tiff().size(); }
    std::string bytes() const {
        const std::string payload = magic + std::string(2, '\0') + tiff();
        const std::uint32_t length = std::uint32_t(payload.size() + 2 + lengthAdjust);
        return "\xFF\xD8" + before + "\xFF\xE1" + std::string{char(length >> 8 & 0xFF), char(length & 0xFF)} +
               payload + std::string("\xFF\xDA\x00\x02", 4) + std::string(40, '\x55') + "\xFF\xD9";
    }
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

}  // namespace
}  // namespace vellora
