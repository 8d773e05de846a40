// The show's message boxes: modal GTK message dialogs, whatever display system
// the show itself runs on.
//
// Contract: runMessageDialog returns when the user pressed OK, or when `whileOpen`
// (called every few milliseconds, so the show's own loop goes on meanwhile)
// returns false. `onToolkitStarted`, when given, runs once right after GTK has
// started, for a backend that must take something back from the toolkit. Texts
// are UTF-8. Without a display for GTK nothing is shown.
//
// renderMessageText lays a message out as white text on black, centred lines
// wrapped to at most `maxWidth` pixels and cut at `maxHeight`, for a backend that
// writes a message on the show's own window instead of opening a box. The pixels
// are 0xRRGGBB words, row-major from the top; an empty image when nothing fits.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vellora::linux_platform {

void runMessageDialog(const std::string& textUtf8, const std::string& captionUtf8, bool (*whileOpen)(),
                      void (*onToolkitStarted)() = nullptr);

struct TextImage {
    std::int32_t width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
};
TextImage renderMessageText(const std::string& utf8, std::int32_t maxWidth, std::int32_t maxHeight);

}  // namespace vellora::linux_platform
