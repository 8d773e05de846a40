// AVIF through libavif (AV1 by dav1d): the primary image, or an image sequence's
// first frame. The rotation and mirror properties are part of the picture, so they
// are applied here, whatever the show's options; libavif leaves that to its caller.
#include <avif/avif.h>

#include <memory>

#include "platform/decoding/decode_formats.h"
#include "platform/decoding/orientation.h"

namespace vellora::linux_platform::formats {
namespace {

struct DecoderDeleter {
    void operator()(avifDecoder* decoder) const { avifDecoderDestroy(decoder); }
};

// The properties as orientation values (orientation.h), in the order they apply:
// rotation first, then the mirror.
void applyRotationAndMirror(const avifImage& picture, DecodedImage& image) {
    if (picture.transformFlags & AVIF_TRANSFORM_IROT) {
        constexpr int anticlockwiseQuarters[] = {1, 8, 3, 6};
        applyOrientation(image, anticlockwiseQuarters[picture.irot.angle & 3]);
    }
    if (picture.transformFlags & AVIF_TRANSFORM_IMIR) applyOrientation(image, picture.imir.mode == 0 ? 4 : 2);
}

}  // namespace

bool decodeAvif(const unsigned char* data, std::size_t size, DecodedImage& image) {
    const std::unique_ptr<avifDecoder, DecoderDeleter> decoder(avifDecoderCreate());
    if (!decoder) return false;
    decoder->maxThreads = 2;
    decoder->imageSizeLimit = static_cast<std::uint32_t>(maxDecodedPixels);
    decoder->ignoreExif = AVIF_TRUE;
    decoder->ignoreXMP = AVIF_TRUE;
    // Files from encoders that predate a rule the library enforces by default (such
    // as a missing pixel-information property) still decode in every other reader.
    decoder->strictFlags = AVIF_STRICT_DISABLED;
    if (avifDecoderSetIOMemory(decoder.get(), data, size) != AVIF_RESULT_OK) return false;
    if (avifDecoderParse(decoder.get()) != AVIF_RESULT_OK) return false;
    const avifImage* picture = decoder->image;
    if (!fitsPixelCap(picture->width, picture->height)) return false;
    if (avifDecoderNextImage(decoder.get()) != AVIF_RESULT_OK) return false;
    picture = decoder->image;
    if (!fitsPixelCap(picture->width, picture->height)) return false;

    sizeImage(image, picture->width, picture->height, false);
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, picture);
    rgb.format = AVIF_RGB_FORMAT_BGRA;
    rgb.depth = 8;
    rgb.pixels = reinterpret_cast<std::uint8_t*>(image.pixels.data());
    rgb.rowBytes = picture->width * 4;
    if (avifImageYUVToRGB(picture, &rgb) != AVIF_RESULT_OK) return false;
    finishPixels(image.pixels.data(), image.pixels.size(), ByteOrder::bgra, picture->alphaPlane != nullptr);
    if (picture->icc.size > 0) image.iccProfile.assign(picture->icc.data, picture->icc.data + picture->icc.size);
    applyRotationAndMirror(*picture, image);
    return true;
}

}  // namespace vellora::linux_platform::formats
