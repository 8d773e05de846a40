// What the native benchmarks share: a clock that adds up the pauses asked for and
// the time they took, a picture whose pixels all differ from black and their
// neighbours, and the table of every row's pace against its pauses.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

#include "effects/catalogue.h"
#include "platform/platform.h"
#include "slideshow/picture_source.h"
#include "slideshow/slide_state.h"

namespace vellora::bench {

using Steady = std::chrono::steady_clock;

inline double secondsSince(Steady::time_point start) {
    return std::chrono::duration<double>(Steady::now() - start).count();
}

// The platform's clock, also adding up the pauses asked for and the time they took.
class CountingClock : public Clock {
public:
    explicit CountingClock(Clock& real) : real_(real) {}
    void sleep(std::uint32_t milliseconds) override {
        nominalMs += milliseconds;
        const auto start = Steady::now();
        real_.sleep(milliseconds);
        sleptSeconds += secondsSince(start);
    }
    std::int64_t calendarSeconds() override { return real_.calendarSeconds(); }
    std::uint32_t tickCount() override { return real_.tickCount(); }
    double nominalMs = 0, sleptSeconds = 0;

private:
    Clock& real_;
};

inline std::vector<std::uint32_t> pattern(std::int32_t width, std::int32_t height) {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = 0x404040u | static_cast<std::uint32_t>(i * 2654435761u >> 8);
    return pixels;
}

// Runs the reveal and the clear of rows 1 to 19 with `picture` on the installed
// platform, whose clock is `counting`, and prints each one's time against the
// pauses it asked for; `beforeEach` lets the display settle first.
inline void printPaceTable(CountingClock& counting, const Picture& picture, const std::function<void()>& beforeEach) {
    SlideState& s = slideState();
    std::printf("%-4s %-7s %10s %10s %8s %12s\n", "row", "part", "nominal", "elapsed", "ratio", "pauses-took");
    for (std::int32_t row = 1; row < 20; ++row) {
        for (const char* part : {"reveal", "clear"}) {
            beforeEach();
            counting.nominalMs = counting.sleptSeconds = 0;
            const auto start = Steady::now();
            if (part[0] == 'r') {
                s.pictureWidth = picture.widthHimetric();
                s.pictureHeight = picture.heightHimetric();
                placePicture();
                catalogueRow(row).reveal(picture);
            } else {
                catalogueRow(row).clear();
            }
            const double elapsed = secondsSince(start) * 1e3;
            if (counting.nominalMs > 0)
                std::printf("%-4d %-7s %8.0f ms %7.0f ms %8.3f %9.3f\n", row, part, counting.nominalMs, elapsed,
                            elapsed / counting.nominalMs, counting.sleptSeconds * 1e3 / counting.nominalMs);
            else
                std::printf("%-4d %-7s %10s %7.0f ms %8s %12s\n", row, part, "unpaced", elapsed, "-", "-");
        }
    }
}

}  // namespace vellora::bench
