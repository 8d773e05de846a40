// Times decodePicture for the decoding benchmark (tools/bench/decode.sh), and
// makes its test picture.
//
//   vellora-decode-bench picture WIDTH HEIGHT FILE.ppm   writes a photo-like picture
//   vellora-decode-bench decode FILE SECONDS             decodes FILE again and again
//   vellora-decode-bench size FILE                       prints its megapixels
//
// decode prints two lines, "fresh MILLISECONDS MEGAPIXELS_PER_SECOND" for
// decodePicture, which maps and clears new memory for every picture, and "reused
// ..." for decodePictureInto with the same image each time, which is what tjbench
// measures: the time of one decode, a mean over at least SECONDS each.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/linux/decode.h"

namespace {

using Clock = std::chrono::steady_clock;

// Smooth shading with fine texture and noise, so that the file compresses the
// way a photograph does rather than the way a flat test card does.
int writePicture(int width, int height, const char* path) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << width << " " << height << "\n255\n";
    std::vector<unsigned char> row(static_cast<std::size_t>(width) * 3);
    std::uint32_t noise = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            noise = noise * 1103515245u + 12345u;
            const int grain = static_cast<int>((noise >> 16) % 25) - 12;
            const double wave = 60 * std::sin(x / 37.0) * std::cos(y / 53.0);
            const int shades[] = {x * 255 / width, y * 255 / height, static_cast<int>(128 + wave)};
            for (int c = 0; c < 3; ++c) row[static_cast<std::size_t>(x) * 3 + c] = static_cast<unsigned char>(std::clamp(shades[c] + grain, 0, 255));
        }
        out.write(reinterpret_cast<const char*>(row.data()), static_cast<std::streamsize>(row.size()));
    }
    return out ? 0 : 1;
}

// Mean milliseconds of one decode over at least `seconds`, after one untimed decode.
template <typename Decode>
double meanMilliseconds(Decode decode, double seconds) {
    if (!decode()) return -1;
    const Clock::time_point start = Clock::now();
    int decodes = 0;
    double elapsed = 0;
    do {
        if (!decode()) return -1;
        ++decodes;
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    } while (elapsed < seconds);
    return elapsed / decodes * 1000;
}

std::vector<unsigned char> readFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int printMegapixels(const char* path) {
    const std::vector<unsigned char> bytes = readFile(path);
    const auto image = vellora::linux_platform::decodePicture(bytes.data(), bytes.size());
    if (!image) return 1;
    std::printf("%.6f\n", static_cast<double>(image->width) * image->height / 1e6);
    return 0;
}

int timeDecoding(const char* path, double seconds) {
    using namespace vellora::linux_platform;
    const std::vector<unsigned char> bytes = readFile(path);
    DecodedImage reused;
    const double fresh = meanMilliseconds([&] { return decodePicture(bytes.data(), bytes.size()).has_value(); }, seconds);
    const double again = meanMilliseconds([&] { return decodePictureInto(bytes.data(), bytes.size(), reused); }, seconds);
    if (fresh < 0 || again < 0) {
        std::fprintf(stderr, "%s: cannot decode\n", path);
        return 1;
    }
    const double megapixels = static_cast<double>(reused.width) * reused.height / 1e6;
    std::printf("fresh %.3f %.2f\nreused %.3f %.2f\n", fresh, megapixels / fresh * 1000, again, megapixels / again * 1000);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "picture" && argc == 5) return writePicture(std::atoi(argv[2]), std::atoi(argv[3]), argv[4]);
    if (mode == "decode" && argc == 4) return timeDecoding(argv[2], std::atof(argv[3]));
    if (mode == "size" && argc == 3) return printMegapixels(argv[2]);
    std::fprintf(stderr, "usage: vellora-decode-bench picture WIDTH HEIGHT FILE | decode FILE SECONDS | size FILE\n");
    return 2;
}
