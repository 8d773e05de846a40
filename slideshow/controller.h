// The slideshow controller: the show window's message handler after the shell.
// It acts on creation, timer ticks and destruction, and passes every message but
// destruction on to the shell's default handling.
#pragma once

#include "platform/platform.h"

namespace vellora {

inline constexpr std::uintptr_t slideTimer = 1;

MessageResult slideshowProc(WindowHandle window, MessageId message, WParam wParam, LParam lParam);

// Fills the display fields of SlideState from the device context's capabilities.
void measureDisplay(Canvas& canvas);

}  // namespace vellora
