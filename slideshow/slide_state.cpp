#include "slideshow/slide_state.h"

namespace vellora {
namespace {
SlideState state;
}

SlideState& slideState() { return state; }
void resetSlideState() { state = SlideState{}; }

std::size_t longestPathBytes() { return platform().files ? platform().files->longestPathBytes() : maxPathBytes; }

}  // namespace vellora
