// HEIF through libheif (HEVC by libde265): the primary image, with the file's own
// crop, rotation and mirror applied, as they are part of the picture. An AV1
// picture in a file without an AVIF brand fails.
#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>

#include "platform/decoding/decode_formats.h"

namespace vellora::linux_platform::formats {
namespace {

struct HeifDeleter {
    void operator()(heif_context* context) const { heif_context_free(context); }
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
    void operator()(heif_image* picture) const { heif_image_release(picture); }
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};
template <typename T>
using HeifPointer = std::unique_ptr<T, HeifDeleter>;

// The library wants one initialization before any other call; it lasts for the
// life of the process.
bool libraryReady() {
    static const bool ready = heif_init(nullptr).code == heif_error_Ok;
    return ready;
}

// libheif decodes AV1 as well, through a plugin that leaks memory on damaged
// data. AV1 pictures are AVIF's, which libavif decodes, so libheif is held to
// HEVC (see also holdsAv1); nothing when it has no HEVC decoder.
const char* hevcDecoder() {
    static const char* const id = [] {
        const heif_decoder_descriptor* decoder = nullptr;
        return libraryReady() && heif_get_decoder_descriptors(heif_compression_HEVC, &decoder, 1) == 1
                   ? heif_decoder_descriptor_get_id_name(decoder)
                   : nullptr;
    }();
    return id;
}

std::uint64_t bigEndian(const unsigned char* bytes, int count) {
    std::uint64_t value = 0;
    for (int i = 0; i < count; ++i) value = value << 8 | bytes[i];
    return value;
}

// Whether the file's metadata box names AV1's configuration property. libheif
// ignores the decoder it is told to use where that one cannot decode the picture,
// so such a file is refused before it reaches libheif's decoding.
bool holdsAv1(const unsigned char* data, std::size_t size) {
    for (std::size_t at = 0; size - at >= 8;) {
        std::uint64_t length = bigEndian(data + at, 4), header = 8;
        if (length == 1 && size - at >= 16) length = bigEndian(data + at + 8, 8), header = 16;
        if (length == 0) length = size - at;
        if (length < header || length > size - at) return false;
        if (std::memcmp(data + at + 4, "meta", 4) == 0) {
            const unsigned char* end = data + at + length;
            static constexpr unsigned char av1Config[] = {'a', 'v', '1', 'C'};
            return std::search(data + at + header, end, std::begin(av1Config), std::end(av1Config)) != end;
        }
        at += static_cast<std::size_t>(length);
    }
    return false;
}

}  // namespace

void prepareHeif() { hevcDecoder(); }

namespace {

void keepProfile(const heif_image_handle* handle, DecodedImage& image) {
    const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
    if (type != heif_color_profile_type_prof && type != heif_color_profile_type_rICC) return;
    image.iccProfile.resize(heif_image_handle_get_raw_color_profile_size(handle));
    if (image.iccProfile.empty() ||
        heif_image_handle_get_raw_color_profile(handle, image.iccProfile.data()).code != heif_error_Ok)
        image.iccProfile.clear();
}

bool copyPixels(const heif_image* picture, bool alpha, DecodedImage& image) {
    int stride = 0;
    const std::uint8_t* plane = heif_image_get_plane_readonly(picture, heif_channel_interleaved, &stride);
    const std::size_t width = static_cast<std::size_t>(image.width), bytesPerPixel = alpha ? 4 : 3;
    if (plane == nullptr || stride < 0 || static_cast<std::size_t>(stride) < width * bytesPerPixel ||
        heif_image_get_bits_per_pixel(picture, heif_channel_interleaved) != static_cast<int>(bytesPerPixel * 8))
        return false;
    for (std::size_t y = 0; y < static_cast<std::size_t>(image.height); ++y) {
        const std::uint8_t* from = plane + y * static_cast<std::size_t>(stride);
        std::uint32_t* to = image.pixels.data() + y * width;
        if (alpha) {
            std::memcpy(to, from, width * 4);
            finishPixels(to, width, ByteOrder::rgba, true);
        } else {
            for (std::size_t x = 0; x < width; ++x, from += 3) to[x] = rgb(from[0], from[1], from[2]);
        }
    }
    return true;
}

}  // namespace

bool decodeHeif(const unsigned char* data, std::size_t size, DecodedImage& image) {
    if (hevcDecoder() == nullptr || holdsAv1(data, size)) return false;
    const HeifPointer<heif_context> context(heif_context_alloc());
    if (!context) return false;
    heif_context_set_max_decoding_threads(context.get(), 2);
    if (heif_context_read_from_memory_without_copy(context.get(), data, size, nullptr).code != heif_error_Ok) return false;
    heif_image_handle* primary = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &primary).code != heif_error_Ok) return false;
    const HeifPointer<heif_image_handle> handle(primary);
    const int announcedWidth = heif_image_handle_get_width(handle.get());
    const int announcedHeight = heif_image_handle_get_height(handle.get());
    if (announcedWidth <= 0 || announcedHeight <= 0 || !fitsPixelCap(std::uint64_t(announcedWidth), std::uint64_t(announcedHeight)))
        return false;

    const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
    const HeifPointer<heif_decoding_options> options(heif_decoding_options_alloc());
    if (!options) return false;
    options->strict_decoding = 1;
    options->convert_hdr_to_8bit = 1;
    options->decoder_id = hevcDecoder();
    heif_image* decoded = nullptr;
    if (heif_decode_image(handle.get(), &decoded, heif_colorspace_RGB,
                          alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get())
            .code != heif_error_Ok)
        return false;
    const HeifPointer<heif_image> picture(decoded);
    const int width = heif_image_get_width(picture.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(picture.get(), heif_channel_interleaved);
    if (width <= 0 || height <= 0 || !fitsPixelCap(std::uint64_t(width), std::uint64_t(height))) return false;
    sizeImage(image, std::uint64_t(width), std::uint64_t(height), false);
    if (!copyPixels(picture.get(), alpha, image)) return false;
    keepProfile(handle.get(), image);
    return true;
}

}  // namespace vellora::linux_platform::formats
