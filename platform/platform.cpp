#include "platform/platform.h"

namespace vellora {
namespace {
Platform installed;
}

void installPlatform(const Platform& p) { installed = p; }
const Platform& platform() { return installed; }

}  // namespace vellora
