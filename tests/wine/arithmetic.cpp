// vellora-arithmetic: prints the show's step sizes and a placement, computed by the
// program's own code after its own start-up precision setting, so the tests can
// compare the 32-bit Windows build's floating point with the expected values.
#include <cstdio>

#include "effects/catalogue.h"
#include "platform/win32/win32_platform.h"
#include "slideshow/picture_source.h"
#include "slideshow/slide_state.h"

int main() {
    vellora::win32::installWin32Platform();
    vellora::SlideState& s = vellora::slideState();
    for (double ppm : {3.2, 2.5, 1280.0 / 360.0}) {
        s.pixelsPerMmX = s.pixelsPerMmY = ppm;
        std::printf("steps %d %d %d %d\n", vellora::stepX(), vellora::step12Y(), vellora::step1X(),
                    vellora::blindsStep4Y());
    }
    s.pixelsPerMmX = s.pixelsPerMmY = 3.2;
    s.screenWidth = 1024;
    s.screenHeight = 768;
    s.pictureWidth = 21167;
    s.pictureHeight = 100;
    vellora::placePicture();
    std::printf("place %d %d\n", s.drawWidth, s.drawLeft);
    return 0;
}
