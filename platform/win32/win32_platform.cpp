#include "platform/win32/win32_platform.h"

#include <float.h>

#include "platform/win32/win32_internal.h"

namespace vellora::win32 {

void installWin32Platform() {
#if defined(__i386__)
    // The show's step sizes assume every double operation rounds to 53 bits; the
    // x87 unit rounds to 64 unless told. (64-bit code does its doubles in SSE2.)
    _controlfp(_PC_53, _MCW_PC);
#endif
    installPlatform({&windowServices(), &files(), &pictureLoader(), &clock()});
    installShellServices(&shell());
    installDialogServices(&dialog());
}

}  // namespace vellora::win32
