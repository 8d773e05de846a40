#include "platform/test/bmp.h"

namespace vellora::test {
namespace {

std::uint32_t le(const std::string& b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
    return v;
}

void putLe(std::string& b, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

}  // namespace

std::optional<Image> decodeBmp(const std::string& b) {
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return std::nullopt;
    const std::uint32_t dataOffset = le(b, 10, 4);
    const std::int32_t width = static_cast<std::int32_t>(le(b, 18, 4));
    const std::int32_t rawHeight = static_cast<std::int32_t>(le(b, 22, 4));
    const std::uint32_t bits = le(b, 28, 2), compression = le(b, 30, 4);
    if ((bits != 24 && bits != 32) || (compression != 0 && compression != 3)) return std::nullopt;
    if (width <= 0 || width > 65535 || rawHeight == 0 || rawHeight < -65535 || rawHeight > 65535) return std::nullopt;
    const bool topDown = rawHeight < 0;
    const std::int32_t height = topDown ? -rawHeight : rawHeight;
    const std::size_t bytesPerPixel = bits / 8;
    const std::size_t stride = (width * bytesPerPixel + 3) / 4 * 4;
    if (dataOffset > b.size() || (b.size() - dataOffset) / stride < static_cast<std::size_t>(height)) return std::nullopt;

    Image image{width, height, std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height)};
    for (std::int32_t y = 0; y < height; ++y) {
        const std::size_t row = dataOffset + stride * static_cast<std::size_t>(topDown ? y : height - 1 - y);
        for (std::int32_t x = 0; x < width; ++x) {
            image.pixels[static_cast<std::size_t>(y) * width + x] = le(b, row + x * bytesPerPixel, 3);
        }
    }
    return image;
}

std::string encodeBmp(const Image& image) {
    const std::size_t stride = (static_cast<std::size_t>(image.width) * 3 + 3) / 4 * 4;
    const std::size_t dataSize = stride * image.height;
    std::string b = "BM";
    putLe(b, static_cast<std::uint32_t>(54 + dataSize), 4);
    putLe(b, 0, 4);
    putLe(b, 54, 4);
    putLe(b, 40, 4);
    putLe(b, image.width, 4);
    putLe(b, image.height, 4);
    putLe(b, 1, 2);
    putLe(b, 24, 2);
    putLe(b, 0, 4);
    putLe(b, static_cast<std::uint32_t>(dataSize), 4);
    putLe(b, 3780, 4);  // 96 dots per inch
    putLe(b, 3780, 4);
    putLe(b, 0, 4);
    putLe(b, 0, 4);
    for (std::int32_t y = image.height - 1; y >= 0; --y) {
        std::size_t start = b.size();
        for (std::int32_t x = 0; x < image.width; ++x) putLe(b, image.at(x, y), 3);
        b.append(stride - (b.size() - start), '\0');
    }
    return b;
}

}  // namespace vellora::test
