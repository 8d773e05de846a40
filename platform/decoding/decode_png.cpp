// PNG through libpng. libpng reports errors by longjmp to the setjmp of the member
// function that called into it; as with JPEG, objects with destructors stay out
// of the frames that a longjmp leaves.
#include <png.h>

#include <cstring>

#include "platform/decoding/decode_formats.h"

namespace vellora::linux_platform::formats {
namespace {

// Deflate cannot expand a byte of input into more than 1032 bytes of output.
constexpr std::uint64_t mostInflatedPerByte = 1032;

void readFromMemory(png_structp png, png_bytep out, std::size_t length) {
    auto* source = static_cast<MemorySource*>(png_get_io_ptr(png));
    if (length > source->left()) png_error(png, "truncated");
    source->read(out, length);
}

[[noreturn]] void jumpOut(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void ignoreWarning(png_structp, png_const_charp) {}

std::uint32_t bigEndian32(const unsigned char* bytes) {
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) | bytes[3];
}

// The total length of the image data chunks, walking the chunk list without
// trusting any length past the end of the file.
std::uint64_t compressedImageBytes(const unsigned char* data, std::size_t size) {
    std::uint64_t total = 0;
    for (std::size_t at = 8; size - at >= 12;) {
        const std::uint32_t length = bigEndian32(data + at);
        if (length > size - at - 12) break;
        if (std::memcmp(data + at + 4, "IDAT", 4) == 0) total += length;
        if (std::memcmp(data + at + 4, "IEND", 4) == 0) break;
        at += std::size_t{length} + 12;
    }
    return total;
}

// Every chunk's stated length fits in what is left of the file. libpng takes a
// text chunk's length on trust and allocates and clears that much before it
// finds the bytes missing: a gigabyte for a 500-byte file.
bool chunksFitTheFile(const unsigned char* data, std::size_t size) {
    constexpr std::size_t signatureBytes = 8, chunkOverhead = 12;
    for (std::size_t at = signatureBytes; at + chunkOverhead <= size;) {
        const std::size_t length = std::size_t{data[at]} << 24 | std::size_t{data[at + 1]} << 16 |
                                   std::size_t{data[at + 2]} << 8 | data[at + 3];
        if (length > size - at - chunkOverhead) return false;
        if (std::memcmp(data + at + 4, "IEND", 4) == 0) break;
        at += chunkOverhead + length;
    }
    return true;
}

class PngDecoder {
public:
    PngDecoder(const unsigned char* data, std::size_t size) : source_{data, size, 0} {
        png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, jumpOut, ignoreWarning);
        if (png_) info_ = png_create_info_struct(png_);
    }
    ~PngDecoder() { png_destroy_read_struct(&png_, &info_, nullptr); }
    PngDecoder(const PngDecoder&) = delete;
    PngDecoder& operator=(const PngDecoder&) = delete;

    // Reads up to the image data and asks for 8-bit RGBA rows whatever the file
    // holds. The file's gamma is not applied: pictures show their stored values.
    bool readHeader() {
        if (!info_ || !chunksFitTheFile(source_.data, source_.size)) return false;
        if (setjmp(png_jmpbuf(png_))) return false;
        png_set_read_fn(png_, &source_, readFromMemory);
        png_read_info(png_, info_);
        width_ = png_get_image_width(png_, info_);
        height_ = png_get_image_height(png_, info_);
        storedBits_ = std::uint64_t{png_get_channels(png_, info_)} * png_get_bit_depth(png_, info_);
        png_set_expand(png_);
        png_set_scale_16(png_);
        png_set_gray_to_rgb(png_);
        png_set_add_alpha(png_, 0xFF, PNG_FILLER_AFTER);
        passes_ = png_set_interlace_handling(png_);
        png_read_update_info(png_, info_);
        return png_get_rowbytes(png_, info_) == width_ * 4;
    }

    // The iCCP chunk's profile, unless an sRGB chunk says the pixels are sRGB
    // already. libpng drops a profile it finds broken.
    void keepProfile(DecodedImage& image) const {
        png_charp name = nullptr;
        int compression = 0;
        png_bytep profile = nullptr;
        png_uint_32 length = 0;
        if (png_get_valid(png_, info_, PNG_INFO_sRGB) ||
            !png_get_iCCP(png_, info_, &name, &compression, &profile, &length) || profile == nullptr)
            return;
        image.iccProfile.assign(profile, profile + length);
    }

    std::uint64_t width() const { return width_; }
    std::uint64_t height() const { return height_; }

    // Whether the image data could inflate to the pixels the header announces.
    bool dataCanHoldPixels() const {
        const std::uint64_t leastInflated = (width_ * height_ * storedBits_ + 7) / 8;
        return compressedImageBytes(source_.data, source_.size) * mostInflatedPerByte >= leastInflated;
    }

    // Interlaced passes are merged into the rows in place, so no image-sized
    // array of row pointers is needed; the file must run to its end chunk.
    bool readPixels(DecodedImage& image) {
        if (setjmp(png_jmpbuf(png_))) return false;
        for (int pass = 0; pass < passes_; ++pass) {
            for (std::uint64_t y = 0; y < height_; ++y) {
                if (decodingStopped()) return false;
                png_read_row(png_, reinterpret_cast<png_bytep>(image.pixels.data() + y * width_), nullptr);
            }
        }
        png_read_end(png_, nullptr);
        return true;
    }

private:
    MemorySource source_;
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
    std::uint64_t width_ = 0;
    std::uint64_t height_ = 0;
    std::uint64_t storedBits_ = 0;
    int passes_ = 1;
};

void compositeOverBlack(std::vector<std::uint32_t>& pixels) {
    for (std::uint32_t& pixel : pixels) {
        unsigned char rgba[4];
        std::memcpy(rgba, &pixel, 4);
        pixel = rgb(overBlack(rgba[0], rgba[3]), overBlack(rgba[1], rgba[3]), overBlack(rgba[2], rgba[3]));
    }
}

}  // namespace

bool decodePng(const unsigned char* data, std::size_t size, DecodedImage& image) {
    PngDecoder decoder(data, size);
    if (!decoder.readHeader() || !fitsPixelCap(decoder.width(), decoder.height()) || !decoder.dataCanHoldPixels()) {
        return false;
    }
    sizeImage(image, decoder.width(), decoder.height(), false);
    if (!decoder.readPixels(image)) return false;
    compositeOverBlack(image.pixels);
    decoder.keepProfile(image);
    return true;
}

}  // namespace vellora::linux_platform::formats
