#include "slideshow/slide_state.h"

namespace vellora {
namespace {
SlideState state;
}

SlideState& slideState() { return state; }
void resetSlideState() { state = SlideState{}; }

}  // namespace vellora
