// Shared set-up for tests on the test platform.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "effects/catalogue.h"
#include "platform/test/test_platform.h"
#include "slideshow/controller.h"
#include "slideshow/picture_source.h"
#include "slideshow/slide_state.h"

namespace vellora::test {

inline std::vector<std::string> drawingCalls(const CallLog& log) {
    std::vector<std::string> out;
    for (const std::string& line : log)
        for (const char* prefix : {"fill ", "render ", "pause ", "pie ", "select "})
            if (line.rfind(prefix, 0) == 0) out.push_back(line);
    return out;
}

inline std::size_t countPrefix(const CallLog& log, const std::string& prefix) {
    std::size_t n = 0;
    for (const std::string& line : log) n += line.rfind(prefix, 0) == 0;
    return n;
}

// A display and a show state set up as the controller would, without a window.
class Screen {
public:
    // Without a surface the screen only records the calls, which is quicker.
    explicit Screen(DeviceMetrics metrics = {1024, 768, 320, 240}, bool withSurface = true)
        : platform(metrics, nullptr, withSurface) {
        platform.install();
        slideState().hdc = &platform.canvas();
        measureDisplay(platform.canvas());
    }
    void setRect(std::int32_t l, std::int32_t t, std::int32_t w, std::int32_t h) {
        SlideState& s = slideState();
        s.drawLeft = l, s.drawTop = t, s.drawWidth = w, s.drawHeight = h;
    }
    // Measures and centres a picture of this HIMETRIC size, as the picture source does.
    void place(std::int32_t pw, std::int32_t ph) {
        slideState().pictureWidth = pw;
        slideState().pictureHeight = ph;
        placePicture();
    }
    std::vector<std::string> calls() const { return drawingCalls(platform.log); }

    TestPlatform platform;
};

}  // namespace vellora::test
