#include "platform/linux/decode.h"

namespace vellora::linux_platform {

std::optional<DecodedImage> decodePicture(const unsigned char*, std::size_t) { return std::nullopt; }

}  // namespace vellora::linux_platform
