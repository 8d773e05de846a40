// The settings file as the show reads it, and the dialog's round trip: whatever the
// dialog reads, it saves, and the saved file reads back to the same four values.
#include <cstdint>
#include <string>

#include "slideshow/settings_file.h"
#include "slideshow/slide_state.h"
#include "tests/fuzz/fuzz_support.h"

using namespace vellora;

namespace {

Settings readFrom(const std::string& bytes, Settings start) {
    test::MemoryFiles& files = fuzz::memoryFiles();
    files.files["input"] = bytes;
    readSettings(*files.openForReading("input"), start);
    return start;
}

// Every user of the path hands it on as a zero-terminated string.
std::string asCString(const std::string& path) { return path.substr(0, path.find('\0')); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    test::MemoryFiles& files = fuzz::memoryFiles();
    files.files.clear();

    const SlideState initial;
    const Settings shown =
        readFrom(bytes, {initial.imageListPath, initial.effectIndex, initial.delaySeconds, initial.randomOrder});
    fuzz::require(shown.imageListPath.size() <= maxPathBytes, "the path fits its 260-byte buffer");
    fuzz::require(shown.imageListPath.find('\n') == std::string::npos, "the path holds no line end");

    const Settings edited = readFrom(bytes, Settings{});
    files.files.clear();
    fuzz::require(writeSettings(edited), "the save succeeds on a working disk");
    const std::string saved = files.files.at(settingsFilePath());
    fuzz::require(saved == encodeSettings(edited), "the save writes exactly the encoded bytes");
    fuzz::require(files.files.size() == 1, "no temporary file stays behind");

    const Settings back = readFrom(saved, {"stale", 11, 12, 13});
    fuzz::require(asCString(back.imageListPath) == asCString(edited.imageListPath), "the path reads back");
    fuzz::require(back.effectIndex == edited.effectIndex && back.delaySeconds == edited.delaySeconds &&
                      back.randomOrder == edited.randomOrder,
                  "the numbers read back");
    return 0;
}
