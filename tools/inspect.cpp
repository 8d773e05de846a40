// vellora-inspect: shows a settings file or an image list as the show reads them.
//   vellora-inspect settings FILE   the four settings, starting from the defaults
//   vellora-inspect list FILE       the entry count and every counted entry
#include <cstdio>
#include <string>

#include "platform/test/test_platform.h"
#include "slideshow/picture_source.h"
#include "slideshow/settings_file.h"
#include "slideshow/slide_state.h"

using namespace vellora;

namespace {

void printBytes(const char* label, const std::string& bytes) {
    std::fputs(label, stdout);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fputc('\n', stdout);
}

int inspectSettings(Files& files, const std::string& path) {
    std::unique_ptr<InputFile> file = files.openForReading(path);
    if (!file) {
        std::fprintf(stderr, "vellora-inspect: cannot open %s\n", path.c_str());
        return 1;
    }
    Settings settings;
    readSettings(*file, settings);
    printBytes("imageListPath ", settings.imageListPath);
    std::printf("effectIndex %d\ndelaySeconds %d\nrandomOrder %d\n", settings.effectIndex, settings.delaySeconds,
                settings.randomOrder);
    return 0;
}

int inspectList(const std::string& path) {
    std::optional<std::int32_t> count = countImages(path);
    if (!count) {
        std::fprintf(stderr, "vellora-inspect: cannot open %s\n", path.c_str());
        return 1;
    }
    std::printf("count %d\n", *count);
    SlideState& s = slideState();
    s.imageListPath = path;
    for (std::int32_t i = 0; i < *count; ++i) {
        s.currentIndex = i;
        printBytes(("entry " + std::to_string(i) + " ").c_str(), readListEntry());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: vellora-inspect settings|list FILE\n");
        return 2;
    }
    test::DiskFiles files;
    test::TestPlatform testPlatform({1, 1, 1, 1}, &files, false);
    testPlatform.install();
    const std::string what = argv[1];
    if (what == "settings") return inspectSettings(files, argv[2]);
    if (what == "list") return inspectList(argv[2]);
    std::fprintf(stderr, "usage: vellora-inspect settings|list FILE\n");
    return 2;
}
