// The running show's one record, and the four persisted settings.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace vellora {

// Paths live in 260-byte buffers: at most 259 bytes and a terminating zero.
inline constexpr std::size_t pathBufferSize = 260;
inline constexpr std::size_t maxPathBytes = pathBufferSize - 1;
// The longest path, and so the longest line of the settings file and the image
// list, on the installed platform; maxPathBytes when none is installed.
std::size_t longestPathBytes();

struct Settings {
    std::string imageListPath;
    std::int32_t effectIndex = 0;
    std::int32_t delaySeconds = 5;
    std::int32_t randomOrder = 0;
};

struct SlideState {
    WindowHandle window = 0;
    Canvas* hdc = nullptr;
    std::int32_t screenWidth = 0;
    std::int32_t screenHeight = 0;
    double pixelsPerMmX = 0.0;
    double pixelsPerMmY = 0.0;
    std::string imageListPath;
    std::int32_t effectIndex = 0;
    std::int32_t delaySeconds = 5;
    std::int32_t randomOrder = 0;
    std::int32_t imageCount = 0;
    std::int32_t currentIndex = -1;
    std::int32_t pictureWidth = 0;
    std::int32_t pictureHeight = 0;
    std::int32_t drawWidth = 0;
    std::int32_t drawHeight = 0;
    std::int32_t drawLeft = 0;
    std::int32_t drawTop = 0;
    std::uintptr_t timerId = 0;
    std::int32_t firstTick = 1;
    // True while the not-found box is open; ticks dispatched by its modal loop are
    // skipped, so a list that keeps failing never stacks one box inside another.
    bool notFoundBoxOpen = false;
};

// The process-wide record.
SlideState& slideState();
// Back to the start values, for tests and tools that run several shows in one process.
void resetSlideState();

}  // namespace vellora
