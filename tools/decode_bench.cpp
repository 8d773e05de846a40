// Times decodePicture for the decoding benchmark (tools/bench/decode.sh), and
// makes its test picture.
//
//   vellora-decode-bench picture WIDTH HEIGHT FILE.ppm   writes a photo-like picture
//   vellora-decode-bench decode FILE SECONDS             decodes FILE again and again
//   vellora-decode-bench size FILE                       prints its megapixels
//   vellora-decode-bench bare FILE SECONDS               decodes FILE by a bare call of
//                                                        its codec library (WebP, HEIF,
//                                                        AVIF, TIFF, JPEG XL), with the
//                                                        threads and pixel layout ours use
//   vellora-decode-bench p3 FILE.icc                     writes a Display P3 profile
//   vellora-decode-bench profile FILE.icc SECONDS        converts a 12-megapixel picture
//                                                        from the profile to sRGB, and
//                                                        copies it once with memcpy
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

#include <avif/avif.h>
#include <jxl/decode.h>
#include <jxl/thread_parallel_runner.h>
#include <libheif/heif.h>
#include <tiffio.h>
#include <webp/decode.h>

#include <cstring>

#include "platform/decoding/colour_profile.h"
#include "platform/decoding/decode.h"
#include "tests/picture_files.h"

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

// ---- Bare calls: the least each library needs to hand over 8-bit pixels, into a
// buffer that is reused, like decodePictureInto's.

std::vector<std::uint32_t> bareBuffer;

bool bareWebp(const std::vector<unsigned char>& file) {
    int width = 0, height = 0;
    if (!WebPGetInfo(file.data(), file.size(), &width, &height)) return false;
    bareBuffer.resize(static_cast<std::size_t>(width) * height);
    WebPDecoderConfig config;
    WebPInitDecoderConfig(&config);
    config.options.use_threads = 1;
    config.output.colorspace = MODE_BGRA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = reinterpret_cast<std::uint8_t*>(bareBuffer.data());
    config.output.u.RGBA.stride = width * 4;
    config.output.u.RGBA.size = bareBuffer.size() * 4;
    return WebPDecode(file.data(), file.size(), &config) == VP8_STATUS_OK;
}

bool bareAvif(const std::vector<unsigned char>& file) {
    avifDecoder* decoder = avifDecoderCreate();
    decoder->maxThreads = 2;
    bool ok = avifDecoderSetIOMemory(decoder, file.data(), file.size()) == AVIF_RESULT_OK &&
              avifDecoderParse(decoder) == AVIF_RESULT_OK && avifDecoderNextImage(decoder) == AVIF_RESULT_OK;
    if (ok) {
        avifRGBImage rgb;
        avifRGBImageSetDefaults(&rgb, decoder->image);
        rgb.format = AVIF_RGB_FORMAT_BGRA;
        rgb.depth = 8;
        bareBuffer.resize(static_cast<std::size_t>(rgb.width) * rgb.height);
        rgb.pixels = reinterpret_cast<std::uint8_t*>(bareBuffer.data());
        rgb.rowBytes = rgb.width * 4;
        ok = avifImageYUVToRGB(decoder->image, &rgb) == AVIF_RESULT_OK;
    }
    avifDecoderDestroy(decoder);
    return ok;
}

bool bareHeif(const std::vector<unsigned char>& file) {
    heif_context* context = heif_context_alloc();
    heif_context_set_max_decoding_threads(context, 2);
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    const bool ok = heif_context_read_from_memory_without_copy(context, file.data(), file.size(), nullptr).code == heif_error_Ok &&
                    heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok &&
                    heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr).code == heif_error_Ok;
    if (image) heif_image_release(image);
    if (handle) heif_image_handle_release(handle);
    heif_context_free(context);
    return ok;
}

struct BareSource {
    const std::vector<unsigned char>* file;
    std::size_t at;
};

bool bareTiff(const std::vector<unsigned char>& file) {
    BareSource source{&file, 0};
    auto read = [](thandle_t h, void* out, tmsize_t n) -> tmsize_t {
        auto* s = static_cast<BareSource*>(h);
        const std::size_t length = std::min<std::size_t>(static_cast<std::size_t>(n), s->file->size() - s->at);
        std::memcpy(out, s->file->data() + s->at, length);
        s->at += length;
        return static_cast<tmsize_t>(length);
    };
    auto seek = [](thandle_t h, toff_t offset, int whence) -> toff_t {
        auto* s = static_cast<BareSource*>(h);
        s->at = static_cast<std::size_t>(whence == SEEK_SET ? offset : whence == SEEK_CUR ? s->at + offset : s->file->size() + offset);
        return s->at;
    };
    TIFF* tiff = TIFFClientOpen(
        "bare", "rm", &source, read, [](thandle_t, void*, tmsize_t) -> tmsize_t { return -1; }, seek,
        [](thandle_t) { return 0; }, [](thandle_t h) -> toff_t { return static_cast<BareSource*>(h)->file->size(); },
        [](thandle_t, void**, toff_t*) { return 0; }, [](thandle_t, void*, toff_t) {});
    if (!tiff) return false;
    std::uint32_t width = 0, height = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    bareBuffer.resize(static_cast<std::size_t>(width) * height);
    const bool ok = TIFFReadRGBAImageOriented(tiff, width, height, bareBuffer.data(), ORIENTATION_TOPLEFT, 1) != 0;
    TIFFClose(tiff);
    return ok;
}

bool bareJxl(const std::vector<unsigned char>& file) {
    JxlDecoder* decoder = JxlDecoderCreate(nullptr);
    void* runner = JxlThreadParallelRunnerCreate(nullptr, 2);
    JxlDecoderSubscribeEvents(decoder, JXL_DEC_FULL_IMAGE);
    JxlDecoderSetParallelRunner(decoder, JxlThreadParallelRunner, runner);
    JxlDecoderSetInput(decoder, file.data(), file.size());
    JxlDecoderCloseInput(decoder);
    const JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    bool ok = false;
    for (;;) {
        const JxlDecoderStatus status = JxlDecoderProcessInput(decoder);
        if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
            std::size_t bytes = 0;
            JxlDecoderImageOutBufferSize(decoder, &format, &bytes);
            bareBuffer.resize(bytes / 4);
            JxlDecoderSetImageOutBuffer(decoder, &format, bareBuffer.data(), bytes);
            continue;
        }
        ok = status == JXL_DEC_FULL_IMAGE;
        break;
    }
    JxlThreadParallelRunnerDestroy(runner);
    JxlDecoderDestroy(decoder);
    return ok;
}

int timeBareDecoding(const char* path, double seconds) {
    const std::vector<unsigned char> file = readFile(path);
    const std::string name = path;
    auto endsWith = [&](const char* suffix) { return name.size() >= std::strlen(suffix) && name.ends_with(suffix); };
    bool (*bare)(const std::vector<unsigned char>&) = endsWith(".webp") ? bareWebp
                                                      : endsWith(".avif") ? bareAvif
                                                      : endsWith(".heic") ? bareHeif
                                                      : endsWith(".tif")  ? bareTiff
                                                      : endsWith(".jxl")  ? bareJxl
                                                                          : nullptr;
    if (bare == nullptr) return 2;
    const double milliseconds = meanMilliseconds([&] { return bare(file); }, seconds);
    if (milliseconds < 0) {
        std::fprintf(stderr, "%s: the bare call fails\n", path);
        return 1;
    }
    std::printf("bare %.3f\n", milliseconds);
    return 0;
}

// The conversion of a 12-megapixel picture from the profile, against the least a
// pass over its pixels can cost: one memcpy of them.
int timeProfileConversion(const char* profilePath, double seconds) {
    using namespace vellora::linux_platform;
    const std::vector<unsigned char> profile = readFile(profilePath);
    DecodedImage image(4000, 3000, std::vector<std::uint32_t>(12'000'000));
    std::uint32_t noise = 1;
    for (std::uint32_t& pixel : image.pixels) pixel = (noise = noise * 1103515245u + 12345u) >> 8;
    std::vector<std::uint32_t> copy(image.pixels.size());
    const double copying = meanMilliseconds([&] {
        std::memcpy(copy.data(), image.pixels.data(), copy.size() * 4);
        return true;
    }, seconds);
    const double converting = meanMilliseconds([&] {
        image.iccProfile = profile;
        return convertToSrgb(image);
    }, seconds);
    if (converting < 0) {
        std::fprintf(stderr, "%s: the profile does not convert\n", profilePath);
        return 1;
    }
    std::printf("memcpy %.3f\nconvert %.3f\n", copying, converting);
    return 0;
}

int writeDisplayP3(const char* path) {
    const std::string profile = vellora::test::displayP3Profile();
    std::FILE* file = std::fopen(path, "wb");
    if (!file) return 1;
    const bool written = std::fwrite(profile.data(), 1, profile.size(), file) == profile.size();
    return std::fclose(file) == 0 && written ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "picture" && argc == 5) return writePicture(std::atoi(argv[2]), std::atoi(argv[3]), argv[4]);
    if (mode == "decode" && argc == 4) return timeDecoding(argv[2], std::atof(argv[3]));
    if (mode == "size" && argc == 3) return printMegapixels(argv[2]);
    if (mode == "bare" && argc == 4) return timeBareDecoding(argv[2], std::atof(argv[3]));
    if (mode == "p3" && argc == 3) return writeDisplayP3(argv[2]);
    if (mode == "profile" && argc == 4) return timeProfileConversion(argv[2], std::atof(argv[3]));
    std::fprintf(stderr, "usage: vellora-decode-bench picture WIDTH HEIGHT FILE | decode FILE SECONDS | size FILE |"
                         " bare FILE SECONDS | profile FILE.icc SECONDS\n");
    return 2;
}
