// The Win32 implementation of the platform seam: thin forwarding to the API.
#pragma once

#include "platform/platform.h"

namespace vellora::win32 {

// Sets up every interface of the seam for this process, and the floating-point
// precision the show's arithmetic assumes (53-bit significands on x87).
void installWin32Platform();

// Draws every picture with IPicture::Render, never from the bitmap directly. Only
// the benchmark and the test helpers call it, to compare the two ways side by side;
// it applies to pictures drawn for the first time after the call.
void forceRenderPath(bool forced);
// True once the picture is drawn straight from its bitmap rather than through Render.
bool drawsFromBitmap(const Picture& picture);

}  // namespace vellora::win32
