// Turning decoded pixels by each of the eight EXIF orientations.
#include <gtest/gtest.h>

#include <string>

#include "platform/decoding/orientation.h"

namespace vellora::linux_platform {
namespace {

//  1 2 3
//  4 5 6
DecodedImage stored() { return {3, 2, {1, 2, 3, 4, 5, 6}}; }

TEST(Orientation, TurnsAndMirrorsForAllEightValues) {
    struct Case {
        int orientation;
        std::int32_t width, height;
        std::vector<std::uint32_t> shown;
    } cases[] = {
        {1, 3, 2, {1, 2, 3, 4, 5, 6}},
        {2, 3, 2, {3, 2, 1, 6, 5, 4}},
        {3, 3, 2, {6, 5, 4, 3, 2, 1}},
        {4, 3, 2, {4, 5, 6, 1, 2, 3}},
        {5, 2, 3, {1, 4, 2, 5, 3, 6}},
        {6, 2, 3, {4, 1, 5, 2, 6, 3}},  // a quarter turn clockwise
        {7, 2, 3, {6, 3, 5, 2, 4, 1}},
        {8, 2, 3, {3, 6, 2, 5, 1, 4}},  // a quarter turn anticlockwise
        {0, 3, 2, {1, 2, 3, 4, 5, 6}},  // none, and values outside the tag's range
        {9, 3, 2, {1, 2, 3, 4, 5, 6}},
        {-6, 3, 2, {1, 2, 3, 4, 5, 6}},
    };
    for (const Case& c : cases) {
        DecodedImage image = stored();
        applyOrientation(image, c.orientation);
        EXPECT_EQ(image.width, c.width) << c.orientation;
        EXPECT_EQ(image.height, c.height) << c.orientation;
        EXPECT_EQ(image.pixels, c.shown) << c.orientation;
    }
}

TEST(Orientation, LeavesAnInconsistentImageAlone) {
    for (DecodedImage image : {DecodedImage{3, 2, {1, 2, 3, 4, 5}}, DecodedImage{3, 2, {1, 2, 3, 4, 5, 6, 7}},
                               DecodedImage{0, 2, {}}, DecodedImage{-3, -2, {1, 2, 3, 4, 5, 6}}}) {
        const DecodedImage before = image;
        for (int orientation = 2; orientation <= 8; ++orientation) applyOrientation(image, orientation);
        EXPECT_EQ(image.width, before.width);
        EXPECT_EQ(image.pixels, before.pixels);
    }
}

TEST(Orientation, TurnUprightReadsTheFilesTag) {
    // An orientation-3 JPEG head, little-endian.
    static const char head[] =
        "\xFF\xD8\xFF\xE1\x00\x22"
        "Exif\0\0II\x2A\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0\x03\0\0\0\0\0\0\0\xFF\xD9";
    const std::string exif3(head, sizeof head - 1);
    DecodedImage image = stored();
    turnUpright(image, reinterpret_cast<const unsigned char*>(exif3.data()), exif3.size());
    EXPECT_EQ(image.pixels, (std::vector<std::uint32_t>{6, 5, 4, 3, 2, 1}));
    DecodedImage plain = stored();
    turnUpright(plain, reinterpret_cast<const unsigned char*>(exif3.data()), 20);
    EXPECT_EQ(plain.pixels, stored().pixels) << "a cut-off tag turns nothing";
}

}  // namespace
}  // namespace vellora::linux_platform
