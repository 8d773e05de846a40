// Uncompressed BMP (24 and 32 bits per pixel, bottom-up or top-down) to and from
// 0xRRGGBB pixels, row 0 at the top.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vellora::test {

struct Image {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint32_t> pixels;  // width * height, row-major from the top
    std::uint32_t at(std::int32_t x, std::int32_t y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

std::optional<Image> decodeBmp(const std::string& bytes);
std::string encodeBmp(const Image& image);  // 24 bits, bottom-up

}  // namespace vellora::test
