#include "effects/pacing.h"

#include "effects/catalogue.h"
#include "platform/platform.h"

namespace vellora {
namespace {
bool paced = false;
}

void setPacedTransitions(bool on) { paced = on; }
bool pacedTransitions() { return paced; }

PacedFrame::PacedFrame() {
    if (paced) started_ = platform().clock->tickCount();
}

void PacedFrame::end() const {
    if (!paced) return;
    // Unsigned subtraction measures across the tick count's wrap.
    const std::uint32_t elapsed = platform().clock->tickCount() - started_;
    if (elapsed < framePaceMs) pause(framePaceMs - elapsed);
}

}  // namespace vellora
