// The saver shell: start-up, mode selection, the saver window and its input rules.
#pragma once

#include "platform/platform.h"

namespace vellora {

// The shell's default handling, after the slideshow controller; what it does not
// consume goes to the platform's default window procedure.
MessageResult shellDefaultProc(WindowHandle window, MessageId message, WParam wParam, LParam lParam);

}  // namespace vellora
