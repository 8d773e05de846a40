// What the native benchmarks share: a clock that adds up the pauses asked for and
// the time they took, and a picture whose pixels all differ from black and their
// neighbours.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "platform/platform.h"

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

}  // namespace vellora::bench
