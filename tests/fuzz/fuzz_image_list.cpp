// The image list: count the entries as the show does at start, then read every
// counted entry as the ticks do.
#include <algorithm>
#include <cstdint>
#include <string>

#include "slideshow/picture_source.h"
#include "slideshow/slide_state.h"
#include "tests/fuzz/fuzz_support.h"

using namespace vellora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    fuzz::memoryFiles().files["list"] = bytes;
    resetSlideState();
    SlideState& s = slideState();
    s.imageListPath = "list";

    const std::optional<std::int32_t> count = countImages(s.imageListPath);
    fuzz::require(count.has_value(), "an existing list opens");
    const auto lineEnds = static_cast<std::int64_t>(std::count(bytes.begin(), bytes.end(), '\n'));
    fuzz::require(*count >= 0 && *count <= lineEnds + 1, "no more entries than lines");
    s.imageCount = *count;

    for (std::int32_t i = 0; i < *count; ++i) {
        s.currentIndex = i;
        const std::string entry = readListEntry();
        fuzz::require(entry.size() <= maxPathBytes, "an entry fits its 260-byte buffer");
        fuzz::require(entry.find('\n') == std::string::npos, "an entry holds no line end");
        fuzz::require(bytes.find(entry) != std::string::npos, "an entry is bytes of the list");
    }
    // The ticks choose in list order past the end and back to the start.
    s.currentIndex = *count - 1;
    pickNextIndex();
    fuzz::require(s.currentIndex == 0, "list order wraps to the first entry");
    return 0;
}
