// vellora-frames: runs the show on the test platform against real files and
// writes the screen after every tick as a BMP, for a look without Windows.
//   vellora-frames WINDOWS_DIR OUT_DIR TICKS [WIDTH HEIGHT]
// WINDOWS_DIR holds Tessaview.ini; its image list names BMP pictures.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/messages.h"
#include "platform/test/test_platform.h"
#include "slideshow/controller.h"

using namespace vellora;

int main(int argc, char** argv) {
    if (argc != 4 && argc != 6) {
        std::fprintf(stderr, "usage: vellora-frames WINDOWS_DIR OUT_DIR TICKS [WIDTH HEIGHT]\n");
        return 2;
    }
    const int ticks = std::atoi(argv[3]);
    const std::int32_t width = argc == 6 ? std::atoi(argv[4]) : 800;
    const std::int32_t height = argc == 6 ? std::atoi(argv[5]) : 600;
    test::DiskFiles files(argv[1]);
    test::TestPlatform testPlatform({width, height, width * 10 / 38, height * 10 / 38}, &files);
    testPlatform.install();
    const WindowHandle window = 1;
    slideshowProc(window, msg::create, 0, 0);
    for (int i = 0; i < ticks; ++i) {
        slideshowProc(window, msg::timer, 1, 0);
        const std::string name = std::string(argv[2]) + "/frame-" + std::to_string(i + 1) + ".bmp";
        std::ofstream(name, std::ios::binary) << test::encodeBmp(testPlatform.canvas().surface());
        std::printf("%s\n", name.c_str());
    }
    for (const std::string& line : testPlatform.log)
        if (line.rfind("messagebox", 0) == 0) std::fprintf(stderr, "%s\n", line.c_str());
    return 0;
}
