// The Win32 implementation of the platform seam: thin forwarding to the API.
#pragma once

namespace vellora::win32 {

// Sets up every interface of the seam for this process, and the floating-point
// precision the show's arithmetic assumes (53-bit significands on x87).
void installWin32Platform();

}  // namespace vellora::win32
