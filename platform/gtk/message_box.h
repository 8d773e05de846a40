// The show's message boxes: modal GTK message dialogs, whatever display system
// the show itself runs on.
//
// Contract: runMessageDialog returns when the user pressed OK, or when `whileOpen`
// (called every few milliseconds, so the show's own loop goes on meanwhile)
// returns false. `onToolkitStarted`, when given, runs once right after GTK has
// started, for a backend that must take something back from the toolkit. Texts
// are UTF-8. Without a display for GTK nothing is shown.
#pragma once

#include <string>

namespace vellora::linux_platform {

void runMessageDialog(const std::string& textUtf8, const std::string& captionUtf8, bool (*whileOpen)(),
                      void (*onToolkitStarted)() = nullptr);

}  // namespace vellora::linux_platform
