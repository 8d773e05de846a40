// vellora-picture: loads one picture file as the show does, for the tests under Wine.
//   FILE OUT.ppm [wic]   loads FILE through the show's loader (or only through the
//                        imaging component), prints "size W H" in HIMETRIC and writes
//                        the picture drawn at 96 pixels per inch to OUT.ppm
//   FILE repeat N [wic]  loads and releases it N times; prints the process's private
//                        bytes after the tenth load and after the last
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/win32_internal.h"
#include "platform/win32/win32_platform.h"

namespace {

using vellora::Picture;

std::unique_ptr<Picture> load(const std::string& path, bool imagingComponentOnly) {
    if (!imagingComponentOnly) return vellora::platform().pictures->loadPictureFile(path);
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return nullptr;
    std::vector<char> bytes;
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(f);
    return vellora::win32::loadWithImagingComponent(bytes.data(), bytes.size());
}

int pixelsAt96Dpi(int himetric) { return (himetric * 96 + 1270) / 2540; }

bool writeDrawn(const Picture& picture, const char* out) {
    const int w = pixelsAt96Dpi(picture.widthHimetric()), h = pixelsAt96Dpi(picture.heightHimetric());
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP target = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, target);
    std::unique_ptr<vellora::Canvas> canvas = vellora::win32::makeCanvas(memory);
    canvas->render(picture, 0, 0, w, h, 0, picture.heightHimetric(), picture.widthHimetric(), -picture.heightHimetric());
    GdiFlush();
    std::FILE* f = std::fopen(out, "wb");
    if (f) {
        std::fprintf(f, "P6\n%d %d\n255\n", w, h);
        const auto* p = static_cast<const unsigned char*>(bits);
        for (int i = 0; i < w * h; ++i) std::fputc(p[4 * i + 2], f), std::fputc(p[4 * i + 1], f), std::fputc(p[4 * i], f);
        std::fclose(f);
    }
    SelectObject(memory, old);
    DeleteObject(target);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return f != nullptr;
}

unsigned long privateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    return static_cast<unsigned long>(counters.PrivateUsage);
}

}  // namespace

int main(int argc, char** argv) {
    vellora::win32::installWin32Platform();
    if (argc >= 4 && std::string(argv[2]) == "repeat") {
        const bool wic = argc > 4 && std::string(argv[4]) == "wic";
        const int n = std::atoi(argv[3]);
        unsigned long afterTen = 0;
        for (int i = 1; i <= n; ++i) {
            if (!load(argv[1], wic)) return 1;
            if (i == 10) afterTen = privateBytes();
        }
        std::printf("private %lu %lu\n", afterTen, privateBytes());
        return 0;
    }
    if (argc >= 3) {
        std::unique_ptr<Picture> picture = load(argv[1], argc > 3 && std::string(argv[3]) == "wic");
        if (!picture) return 1;
        std::printf("size %d %d\n", static_cast<int>(picture->widthHimetric()), static_cast<int>(picture->heightHimetric()));
        return writeDrawn(*picture, argv[2]) ? 0 : 1;
    }
    std::fprintf(stderr, "usage: vellora-picture FILE OUT.ppm [wic] | FILE repeat N [wic]\n");
    return 2;
}
