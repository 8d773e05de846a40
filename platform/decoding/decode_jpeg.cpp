// JPEG through libjpeg-turbo. The library reports errors by calling back into
// us; every such callback longjmps to the setjmp of the member function that
// called into the library, so the only frames skipped are the library's own and
// the callbacks'. Objects with destructors live in the caller or in the decoder,
// never in a frame that a longjmp leaves or after a setjmp.
#include <csetjmp>
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <bit>
#include <cstdlib>

#include "platform/exif.h"
#include "platform/decoding/decode_formats.h"

namespace vellora::linux_platform::formats {
namespace {

// More scans than any encoder writes; a file with more is built to make the
// decoder spin.
constexpr int mostProgressiveScans = 500;

// Byte order that puts 0xXXRRGGBB in a native 32-bit word.
constexpr J_COLOR_SPACE nativeXrgb = std::endian::native == std::endian::little ? JCS_EXT_BGRX : JCS_EXT_XRGB;

struct ErrorTrap {
    jpeg_error_mgr manager;  // first, so that the library's pointer to it is a pointer to the trap
    std::jmp_buf jump;
};

[[noreturn]] void jumpOut(j_common_ptr info) { std::longjmp(reinterpret_cast<ErrorTrap*>(info->err)->jump, 1); }

// Warnings are ignored except those that say the data ran out: the library
// would fill the rest with grey and call it a picture.
void judgeMessage(j_common_ptr info, int level) {
    const int code = info->err->msg_code;
    if (level < 0 && (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER)) jumpOut(info);
}

// The library calls this between its steps, also while it reads the scans of a
// progressive picture, which is where a large one spends its time.
void limitScans(j_common_ptr info) {
    auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
    if (decompress->progressive_mode && decompress->input_scan_number > mostProgressiveScans) jumpOut(info);
    if (decodingStopped()) jumpOut(info);
}

class JpegDecoder {
public:
    JpegDecoder() {
        info_.err = jpeg_std_error(&trap_.manager);
        trap_.manager.error_exit = jumpOut;
        trap_.manager.emit_message = judgeMessage;
        progress_.progress_monitor = limitScans;
    }
    ~JpegDecoder() {
        if (created_) jpeg_destroy_decompress(&info_);
    }
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;

    bool readHeader(const unsigned char* data, std::size_t size) {
        if (setjmp(trap_.jump)) return false;
        jpeg_create_decompress(&info_);
        created_ = true;
        info_.progress = &progress_;
        jpeg_mem_src(&info_, data, static_cast<unsigned long>(size));
        jpeg_save_markers(&info_, JPEG_APP0 + 2, 0xFFFF);
        jpeg_read_header(&info_, TRUE);
        cmyk_ = info_.jpeg_color_space == JCS_CMYK || info_.jpeg_color_space == JCS_YCCK;
        info_.out_color_space = cmyk_ ? JCS_CMYK : nativeXrgb;
        return true;
    }

    // The scans must end with the end-of-image marker, which entropy-coded data
    // cannot contain; checking for it first keeps a truncated file that claims a
    // large size from costing a large allocation. The search runs from the end,
    // where a whole file has its marker.
    bool endMarkerFollows() const {
        const unsigned char* from = info_.src->next_input_byte;
        for (std::size_t at = info_.src->bytes_in_buffer; at >= 2; --at) {
            if (from[at - 2] == 0xFF && from[at - 1] == 0xD9) return true;
        }
        return false;
    }

    // Huffman coding spends at least one bit on every block of every component, so
    // a file too short for that is a lie about its size. (Arithmetic coding has no
    // such floor.)
    bool dataCanHoldBlocks(std::size_t size) const {
        if (info_.arith_code) return true;
        std::uint64_t blocks = 0;
        for (int c = 0; c < info_.num_components; ++c) {
            blocks += std::uint64_t{info_.comp_info[c].width_in_blocks} * info_.comp_info[c].height_in_blocks;
        }
        return std::uint64_t{size} * 8 >= blocks;
    }

    // The ICC profile that APP2 segments carry in pieces, in memory the library
    // allocated with malloc; null without one, or with a broken one.
    JOCTET* readProfile(unsigned& length) {
        JOCTET* profile = nullptr;
        length = 0;
        if (setjmp(trap_.jump)) return nullptr;
        if (!cmyk_ && !jpeg_read_icc_profile(&info_, &profile, &length)) return nullptr;
        return profile;
    }

    std::uint64_t width() const { return info_.image_width; }
    std::uint64_t height() const { return info_.image_height; }

    bool readPixels(DecodedImage& image) {
        if (setjmp(trap_.jump)) return false;
        jpeg_start_decompress(&info_);
        if (info_.output_width != info_.image_width || info_.output_height != info_.image_height ||
            info_.output_components != 4) {
            return false;
        }
        const std::size_t width = info_.output_width;
        while (info_.output_scanline < info_.output_height) {
            JSAMPROW rows[16];
            const JDIMENSION first = info_.output_scanline;
            const JDIMENSION count = std::min<JDIMENSION>(16, info_.output_height - first);
            for (JDIMENSION i = 0; i < count; ++i) {
                rows[i] = reinterpret_cast<JSAMPROW>(image.pixels.data() + (first + i) * width);
            }
            const JDIMENSION read = jpeg_read_scanlines(&info_, rows, count);
            finishRows(image.pixels.data() + first * width, read * width);
        }
        jpeg_finish_decompress(&info_);
        return true;
    }

private:
    // While the rows are still in the cache: drop the filler byte, or turn ink
    // into light. Adobe's writers store CMYK inverted, and say so with their marker.
    void finishRows(std::uint32_t* pixels, std::size_t count) const {
        if (!cmyk_) {
            for (std::size_t i = 0; i < count; ++i) pixels[i] &= 0xFFFFFF;
            return;
        }
        const bool inverted = info_.saw_Adobe_marker;
        for (std::size_t i = 0; i < count; ++i) {
            const auto* ink = reinterpret_cast<const unsigned char*>(pixels + i);
            unsigned c = ink[0], m = ink[1], y = ink[2], k = ink[3];
            if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
            pixels[i] = rgb(overBlack(c, k), overBlack(m, k), overBlack(y, k));
        }
    }

    jpeg_decompress_struct info_{};
    ErrorTrap trap_{};
    jpeg_progress_mgr progress_{};
    bool created_ = false;
    bool cmyk_ = false;
};

// A CMYK file's profile describes ink, which the pixels no longer are.
void keepProfile(JpegDecoder& decoder, DecodedImage& image) {
    unsigned length = 0;
    JOCTET* profile = decoder.readProfile(length);
    if (profile == nullptr) return;
    image.iccProfile.assign(profile, profile + length);
    std::free(profile);
}

}  // namespace

bool decodeJpeg(const unsigned char* data, std::size_t size, DecodedImage& image) {
    JpegDecoder decoder;
    if (!decoder.readHeader(data, size) || !fitsPixelCap(decoder.width(), decoder.height()) ||
        !decoder.endMarkerFollows() || !decoder.dataCanHoldBlocks(size)) {
        return false;
    }
    // The library keeps the profile's pieces only until decompression starts.
    keepProfile(decoder, image);
    sizeImage(image, decoder.width(), decoder.height(), false);
    if (!decoder.readPixels(image)) return false;
    image.orientation = jpegOrientation(data, size);
    return true;
}

}  // namespace vellora::linux_platform::formats
