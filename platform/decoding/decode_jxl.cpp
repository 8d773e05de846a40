// JPEG XL through libjxl, on two threads: the first frame, with the codestream's
// orientation applied, as it is part of the picture.
#include <jxl/decode.h>
#include <jxl/thread_parallel_runner.h>

#include <cstdio>
#include <memory>
#include <mutex>

#include "platform/decoding/decode_formats.h"

namespace vellora::linux_platform::formats {
namespace {

struct JxlDeleter {
    void operator()(JxlDecoder* decoder) const { JxlDecoderDestroy(decoder); }
};
struct RunnerDeleter {
    void operator()(void* runner) const { JxlThreadParallelRunnerDestroy(runner); }
};

// Debian's libjxl is built to describe every failure on the standard error
// stream, with no way to turn that off, and a decoder must not write to the
// terminal. While the library decodes, the stream is one that discards what it is
// given; no file is opened for that. Decodes take turns, so that one ending
// cannot hand the other's library the terminal back.
class QuietStandardError {
public:
    QuietStandardError() : lock_(turns()), saved_(stderr) {
        if (FILE* quiet = discarding()) stderr = quiet;
    }
    ~QuietStandardError() { stderr = saved_; }
    QuietStandardError(const QuietStandardError&) = delete;
    QuietStandardError& operator=(const QuietStandardError&) = delete;

    static FILE* discarding() {
        static FILE* const stream = fopencookie(nullptr, "w", cookie_io_functions_t{nullptr, discard, nullptr, nullptr});
        return stream;
    }

private:
    static std::mutex& turns() {
        static std::mutex mutex;
        return mutex;
    }
    static ssize_t discard(void*, const char*, std::size_t size) { return static_cast<ssize_t>(size); }

    std::lock_guard<std::mutex> lock_;
    FILE* saved_;
};

constexpr JxlPixelFormat rgbaBytes{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};

bool isSrgb(const JxlColorEncoding& encoding) {
    return encoding.color_space == JXL_COLOR_SPACE_RGB && encoding.white_point == JXL_WHITE_POINT_D65 &&
           encoding.primaries == JXL_PRIMARIES_SRGB && encoding.transfer_function == JXL_TRANSFER_FUNCTION_SRGB;
}

class JxlReader {
public:
    JxlReader(JxlDecoder* decoder, DecodedImage& image) : decoder_(decoder), image_(image) {}

    bool read() {
        for (;;) {
            switch (JxlDecoderProcessInput(decoder_)) {
            case JXL_DEC_BASIC_INFO:
                if (!readBasicInfo()) return false;
                break;
            case JXL_DEC_COLOR_ENCODING: readColourEncoding(); break;
            case JXL_DEC_NEED_IMAGE_OUT_BUFFER:
                if (!provideBuffer()) return false;
                break;
            case JXL_DEC_FULL_IMAGE:
                if (!haveBuffer_) return false;
                finishPixels(image_.pixels.data(), image_.pixels.size(), ByteOrder::rgba, alpha_);
                return true;
            default: return false;  // an error, or input that ends before the first frame
            }
        }
    }

private:
    // The size is the shown one: orientations 5 to 8 swap the sides.
    bool readBasicInfo() {
        JxlBasicInfo info;
        if (JxlDecoderGetBasicInfo(decoder_, &info) != JXL_DEC_SUCCESS) return false;
        const bool sideways = info.orientation >= JXL_ORIENT_TRANSPOSE;
        width_ = sideways ? info.ysize : info.xsize;
        height_ = sideways ? info.xsize : info.ysize;
        alpha_ = info.alpha_bits > 0;
        xyb_ = !info.uses_original_profile;
        colourChannels_ = info.num_color_channels;
        return fitsPixelCap(width_, height_);
    }

    // XYB pixels have to be turned into some colour space anyway, so the library
    // is asked for sRGB; other pixels come as stored, with the profile they are in.
    void readColourEncoding() {
        if (xyb_ && colourChannels_ == 3) {
            JxlColorEncoding srgb{};
            srgb.color_space = JXL_COLOR_SPACE_RGB;
            srgb.white_point = JXL_WHITE_POINT_D65;
            srgb.primaries = JXL_PRIMARIES_SRGB;
            srgb.transfer_function = JXL_TRANSFER_FUNCTION_SRGB;
            srgb.rendering_intent = JXL_RENDERING_INTENT_PERCEPTUAL;
            JxlDecoderSetPreferredColorProfile(decoder_, &srgb);
        }
        JxlColorEncoding encoding;
        if (JxlDecoderGetColorAsEncodedProfile(decoder_, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &encoding) ==
                JXL_DEC_SUCCESS &&
            (isSrgb(encoding) || encoding.color_space == JXL_COLOR_SPACE_GRAY))
            return;
        std::size_t size = 0;
        if (JxlDecoderGetICCProfileSize(decoder_, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) != JXL_DEC_SUCCESS ||
            size == 0)
            return;
        image_.iccProfile.resize(size);
        if (JxlDecoderGetColorAsICCProfile(decoder_, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, image_.iccProfile.data(),
                                           size) != JXL_DEC_SUCCESS)
            image_.iccProfile.clear();
    }

    bool provideBuffer() {
        std::size_t bytes = 0;
        if (width_ == 0 || JxlDecoderImageOutBufferSize(decoder_, &rgbaBytes, &bytes) != JXL_DEC_SUCCESS ||
            bytes != width_ * height_ * 4)
            return false;
        sizeImage(image_, width_, height_, false);
        haveBuffer_ = JxlDecoderSetImageOutBuffer(decoder_, &rgbaBytes, image_.pixels.data(), bytes) == JXL_DEC_SUCCESS;
        return haveBuffer_;
    }

    JxlDecoder* decoder_;
    DecodedImage& image_;
    std::uint64_t width_ = 0;
    std::uint64_t height_ = 0;
    std::uint32_t colourChannels_ = 3;
    bool alpha_ = false;
    bool xyb_ = false;
    bool haveBuffer_ = false;
};

}  // namespace

void prepareJxl() { QuietStandardError::discarding(); }

bool decodeJxl(const unsigned char* data, std::size_t size, DecodedImage& image) {
    const std::unique_ptr<JxlDecoder, JxlDeleter> decoder(JxlDecoderCreate(nullptr));
    const std::unique_ptr<void, RunnerDeleter> runner(JxlThreadParallelRunnerCreate(nullptr, 2));
    if (!decoder || !runner) return false;
    if (JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE) !=
            JXL_DEC_SUCCESS ||
        JxlDecoderSetParallelRunner(decoder.get(), JxlThreadParallelRunner, runner.get()) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(decoder.get(), data, size) != JXL_DEC_SUCCESS)
        return false;
    JxlDecoderCloseInput(decoder.get());
    const QuietStandardError quiet;
    return JxlReader(decoder.get(), image).read();
}

}  // namespace vellora::linux_platform::formats
