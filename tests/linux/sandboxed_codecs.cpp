// Whether the codec libraries the decoders use can decode from memory under the
// decoder process's lockdown, with two threads each: HEIF (libheif), AVIF
// (libavif) and JPEG XL (libjxl).
//
//   vellora-sandboxed-codecs HEIF AVIF JXL
//
// reads the three files, locks down as the decoder process does, then decodes
// each; the exit code is 0 when all three decoded, else 10 + the index of the
// first that did not. Printing is not allowed once locked down, so the exit
// code is the only answer; a call the filter refuses kills the process (SIGSYS).
#include <avif/avif.h>
#include <jxl/decode.h>
#include <jxl/thread_parallel_runner.h>
#include <libheif/heif.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/linux/decoder_sandbox.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes readFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool decodeHeif(const Bytes& data) {
    heif_context* context = heif_context_alloc();
    heif_context_set_max_decoding_threads(context, 2);
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    bool ok = heif_context_read_from_memory_without_copy(context, data.data(), data.size(), nullptr).code ==
                  heif_error_Ok &&
              heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok &&
              heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, nullptr).code ==
                  heif_error_Ok;
    ok = ok && heif_image_get_width(image, heif_channel_interleaved) > 0;
    if (image) heif_image_release(image);
    if (handle) heif_image_handle_release(handle);
    heif_context_free(context);
    return ok;
}

bool decodeAvif(const Bytes& data) {
    avifDecoder* decoder = avifDecoderCreate();
    decoder->maxThreads = 2;
    avifRGBImage rgb{};
    bool ok = avifDecoderSetIOMemory(decoder, data.data(), data.size()) == AVIF_RESULT_OK &&
              avifDecoderParse(decoder) == AVIF_RESULT_OK && avifDecoderNextImage(decoder) == AVIF_RESULT_OK;
    if (ok) {
        avifRGBImageSetDefaults(&rgb, decoder->image);
        avifRGBImageAllocatePixels(&rgb);
        ok = avifImageYUVToRGB(decoder->image, &rgb) == AVIF_RESULT_OK;
        avifRGBImageFreePixels(&rgb);
    }
    avifDecoderDestroy(decoder);
    return ok;
}

bool decodeJxl(const Bytes& data) {
    JxlDecoder* decoder = JxlDecoderCreate(nullptr);
    void* runner = JxlThreadParallelRunnerCreate(nullptr, 2);
    bool ok = JxlDecoderSetParallelRunner(decoder, JxlThreadParallelRunner, runner) == JXL_DEC_SUCCESS &&
              JxlDecoderSubscribeEvents(decoder, JXL_DEC_BASIC_INFO | JXL_DEC_FULL_IMAGE) == JXL_DEC_SUCCESS &&
              JxlDecoderSetInput(decoder, data.data(), data.size()) == JXL_DEC_SUCCESS;
    JxlDecoderCloseInput(decoder);
    const JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    std::vector<unsigned char> pixels;
    bool whole = false;
    while (ok && !whole) {
        switch (JxlDecoderProcessInput(decoder)) {
        case JXL_DEC_BASIC_INFO: break;
        case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
            std::size_t size = 0;
            ok = JxlDecoderImageOutBufferSize(decoder, &format, &size) == JXL_DEC_SUCCESS;
            pixels.resize(size);
            ok = ok && JxlDecoderSetImageOutBuffer(decoder, &format, pixels.data(), size) == JXL_DEC_SUCCESS;
            break;
        }
        case JXL_DEC_FULL_IMAGE: whole = true; break;
        default: ok = false; break;
        }
    }
    JxlThreadParallelRunnerDestroy(runner);
    JxlDecoderDestroy(decoder);
    return ok && whole && !pixels.empty();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: vellora-sandboxed-codecs HEIF AVIF JXL\n", stderr);
        return 2;
    }
    const Bytes files[] = {readFile(argv[1]), readFile(argv[2]), readFile(argv[3])};
    // libheif looks for plugins when it starts, which needs files: before the lockdown.
    heif_init(nullptr);
    if (vellora::linux_platform::lockDown() != vellora::linux_platform::Lockdown::done) return 3;
    bool (*const decoders[])(const Bytes&) = {decodeHeif, decodeAvif, decodeJxl};
    for (int i = 0; i < 3; ++i)
        if (!decoders[i](files[i])) return 10 + i;
    return 0;
}
