// vellora-trace: runs one transition of a catalogue row on the test platform and
// prints the drawing calls it makes, one per line.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "effects/catalogue.h"
#include "effects/pacing.h"
#include "platform/test/test_platform.h"
#include "slideshow/controller.h"
#include "slideshow/fitted_picture.h"
#include "slideshow/picture_source.h"
#include "slideshow/random.h"
#include "slideshow/slide_state.h"

using namespace vellora;

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: vellora-trace reveal|clear ROW --device HORZRES VERTRES HORZSIZE VERTSIZE\n"
                 "                     --picture PW PH [--rect L T W H] [--seed S] [--paced] [--fit]\n");
    return 2;
}

bool parseInt(const char* text, long long& out) {
    char* end = nullptr;
    out = std::strtoll(text, &end, 10);
    return end != text && *end == '\0' && out >= -2147483648LL && out <= 4294967295LL;
}

bool isDrawingCall(const std::string& line) {
    for (const char* prefix : {"fill ", "render ", "pause ", "pie ", "select "})
        if (line.rfind(prefix, 0) == 0) return true;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    const std::string kind = argv[1];
    long long row = 0;
    if ((kind != "reveal" && kind != "clear") || !parseInt(argv[2], row)) return usage();

    long long device[4] = {}, picture[2] = {}, rect[4] = {}, seed = 1;
    bool haveDevice = false, havePicture = false, haveRect = false, paced = false, fit = false;
    for (int i = 3; i < argc; ++i) {
        auto take = [&](long long* values, int count) {
            if (i + count >= argc) return false;
            for (int k = 0; k < count; ++k)
                if (!parseInt(argv[++i], values[k])) return false;
            return true;
        };
        std::string option = argv[i];
        bool ok = option == "--device"    ? (haveDevice = take(device, 4))
                  : option == "--picture" ? (havePicture = take(picture, 2))
                  : option == "--rect"    ? (haveRect = take(rect, 4))
                  : option == "--seed"    ? take(&seed, 1)
                  : option == "--paced"   ? (paced = true)
                  : option == "--fit"     ? (fit = true)
                                          : false;
        if (!ok) return usage();
    }
    if (!haveDevice || !havePicture) return usage();

    DeviceMetrics metrics{static_cast<std::int32_t>(device[0]), static_cast<std::int32_t>(device[1]),
                          static_cast<std::int32_t>(device[2]), static_cast<std::int32_t>(device[3])};
    // Only the calls matter here, so nothing is painted.
    test::TestPlatform testPlatform(metrics, nullptr, false);
    testPlatform.install();
    SlideState& s = slideState();
    s.hdc = &testPlatform.canvas();
    measureDisplay(testPlatform.canvas());
    setPacedTransitions(paced);
    // With --fit the picture is the one the fitting loader would hand out, so the
    // render lines show the source rectangles mapped into the real picture.
    std::unique_ptr<Picture> shown = std::make_unique<test::TestPicture>(
        test::patternImage(1, 1), static_cast<std::int32_t>(picture[0]), static_cast<std::int32_t>(picture[1]));
    if (fit) shown = fitToDisplay(std::move(shown), currentDisplay());
    s.pictureWidth = shown->widthHimetric();
    s.pictureHeight = shown->heightHimetric();
    placePicture();
    if (haveRect) {
        s.drawLeft = static_cast<std::int32_t>(rect[0]);
        s.drawTop = static_cast<std::int32_t>(rect[1]);
        s.drawWidth = static_cast<std::int32_t>(rect[2]);
        s.drawHeight = static_cast<std::int32_t>(rect[3]);
    }
    seedRandom(static_cast<std::uint32_t>(seed));

    std::printf("geometry %d %d %d %d\n", s.drawLeft, s.drawTop, s.drawWidth, s.drawHeight);
    const EffectEntry& entry = catalogueRow(static_cast<std::int32_t>(row));
    if (kind == "reveal") {
        entry.reveal(*shown);
    } else {
        entry.clear();
    }
    for (const std::string& line : testPlatform.log)
        if (isDrawingCall(line)) std::printf("%s\n", line.c_str());
    std::printf("rng %u\n", randomState());
    return 0;
}
