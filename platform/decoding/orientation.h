// Turning decoded photos upright by their EXIF orientation (platform/exif.h).
//
// Contract:
// - Orientation values are those of the EXIF tag: 1 as stored, 2 mirrored left to
//   right, 3 turned half round, 4 mirrored top to bottom, 5 mirrored across the
//   top-left to bottom-right diagonal, 6 to be turned a quarter clockwise, 7
//   mirrored across the other diagonal, 8 to be turned a quarter anticlockwise.
//   The result is the picture as it is meant to be seen; 5 to 8 swap width and
//   height.
// - Any other value, and an image whose pixel count is not width × height, leaves
//   the image as it is. Values 2 to 4 work in place; 5 to 8 need one more buffer of
//   the image's size for the time of the call.
#pragma once

#include <cstddef>

#include "platform/decoding/decode.h"

namespace vellora::linux_platform {

void applyOrientation(DecodedImage& image, int orientation);

// The orientation the decoder found (a TIFF's tag, a JPEG's EXIF tag) decides,
// or else the whole file's bytes: a JPEG with an orientation tag is turned by it,
// anything else stays as decoded. Afterwards the image has no orientation left.
void turnUpright(DecodedImage& image, const unsigned char* fileData, std::size_t fileSize);

}  // namespace vellora::linux_platform
