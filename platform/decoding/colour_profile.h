// Pictures that carry an ICC profile, shown in sRGB, which is what the screen is
// taken to be.
//
// Contract:
// - convertToSrgb turns a decoded image's 0xRRGGBB pixels from its iccProfile to
//   sRGB with lcms2, perceptual intent, in place, and then empties iccProfile.
// - Nothing changes, bit for bit, for an image without a profile, with a profile
//   that is damaged, not an RGB one, or that converts no colour by more than one
//   level (an sRGB profile, whoever wrote it). A profile never makes a picture fail.
// - Safe in a sandbox: no file, no terminal output; at most two threads.
#pragma once

#include "platform/decoding/decode.h"

namespace vellora::linux_platform {

// Whether the pixels were converted.
bool convertToSrgb(DecodedImage& image);

}  // namespace vellora::linux_platform
