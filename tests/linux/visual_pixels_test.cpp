// The show's colours on visuals other than 24-bit TrueColor.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/x11/visual_pixels.h"

namespace vellora::x11 {
namespace {

TEST(VisualPixels, EachLayoutGetsTheNearestValueInItsOwnBytes) {
    VisualFormat palette;
    palette.palette = nearestTable({{7, 0x000000}, {9, 0xFFFFFF}, {0x1234, 0x33CC00}});
    struct Case {
        std::string name;
        VisualFormat format;
        int bitsPerPixel;
        bool msbFirst;
        std::uint32_t rgb;
        std::vector<unsigned char> bytes;
    };
    const std::vector<Case> cases = {
        {"565, low byte first", colourFormat(0xF800, 0x7E0, 0x1F, 16), 16, false, 0xFF8000, {0x00, 0xFC}},
        {"565, high byte first", colourFormat(0xF800, 0x7E0, 0x1F, 16), 16, true, 0xFF8000, {0xFC, 0x00}},
        {"565 rounds to the nearest level", colourFormat(0xF800, 0x7E0, 0x1F, 16), 16, false, 0x040204, {0x00, 0x00}},
        {"565 rounds up", colourFormat(0xF800, 0x7E0, 0x1F, 16), 16, false, 0x050305, {0x21, 0x08}},
        {"BGR", colourFormat(0xFF, 0xFF00, 0xFF0000, 24), 32, false, 0x123456, {0x12, 0x34, 0x56, 0x00}},
        {"packed 24 bits", colourFormat(0xFF0000, 0xFF00, 0xFF, 24), 24, false, 0x123456, {0x56, 0x34, 0x12}},
        {"32-bit window with alpha", colourFormat(0xFF0000, 0xFF00, 0xFF, 32), 32, false, 0x123456, {0x56, 0x34, 0x12, 0xFF}},
        {"8-bit TrueColor 332", colourFormat(0x7, 0x38, 0xC0, 8), 8, false, 0xFFFFFF, {0xFF}},
        {"8-bit TrueColor blue only", colourFormat(0x7, 0x38, 0xC0, 8), 8, false, 0x0000FF, {0xC0}},
        {"palette: white", palette, 8, false, 0xFFFFFF, {9}},
        {"palette: a dark grey takes black", palette, 8, false, 0x303030, {7}},
        {"palette: a colour takes the nearest", palette, 16, false, 0x40B010, {0x34, 0x12}},
    };
    for (const Case& c : cases) {
        std::vector<unsigned char> out(c.bytes.size() + 1, 0xAA);
        ASSERT_TRUE(packRow(c.format, &c.rgb, 1, out.data(), c.bitsPerPixel, c.msbFirst)) << c.name;
        EXPECT_EQ(std::vector<unsigned char>(out.begin(), out.end() - 1), c.bytes) << c.name;
        EXPECT_EQ(out.back(), 0xAA) << c.name << ": wrote past the pixel";
    }
    const std::uint32_t one = 0;
    unsigned char out[4];
    EXPECT_FALSE(packRow(palette, &one, 1, out, 4, false)) << "four bits per pixel are put one by one";
    EXPECT_EQ(nearestTable({}), std::vector<std::uint32_t>(tableLevels * tableLevels * tableLevels, 0));
}

}  // namespace
}  // namespace vellora::x11
