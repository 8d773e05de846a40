#include "picture_files.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>

#include <gif_lib.h>
#include <jpeglib.h>
#include <lcms2.h>
#include <png.h>

namespace vellora::test {
namespace {

void putLe(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void putBe(std::string& out, std::size_t at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<char>((value >> (8 * (bytes - 1 - i))) & 0xFF);
}

// Packs samples of any PNG or BMP depth into bytes, the leftmost in the high bits.
void packSamples(std::string& out, const std::vector<std::uint32_t>& samples, int bits) {
    if (bits >= 8) {
        for (std::uint32_t sample : samples)
            for (int shift = bits - 8; shift >= 0; shift -= 8) out.push_back(static_cast<char>((sample >> shift) & 0xFF));
        return;
    }
    unsigned byte = 0;
    int filled = 0;
    for (std::uint32_t sample : samples) {
        byte = (byte << bits) | (sample & ((1u << bits) - 1));
        filled += bits;
        if (filled == 8) out.push_back(static_cast<char>(byte)), byte = 0, filled = 0;
    }
    if (filled > 0) out.push_back(static_cast<char>(byte << (8 - filled)));
}

std::string bmpRow(const BmpLayout& layout, std::int32_t y, std::int32_t width) {
    std::string row;
    const auto first = layout.values.begin() + static_cast<std::ptrdiff_t>(y) * width;
    const std::vector<std::uint32_t> values(first, first + width);
    if (layout.bits <= 8) {
        packSamples(row, values, layout.bits);
    } else {
        for (std::uint32_t value : values) {
            if (layout.bits == 24) putLe(row, value & 0xFFFFFF, 3);
            else putLe(row, value, layout.bits / 8);
        }
    }
    while (row.size() % 4 != 0) row.push_back('\0');
    return row;
}

std::uint32_t crc32(const std::string& bytes, std::size_t from, std::size_t to) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (std::size_t i = from; i < to; ++i) {
        crc ^= static_cast<unsigned char>(bytes[i]);
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

void appendToString(png_structp png, png_bytep data, std::size_t length) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}
void flushNothing(png_structp) {}

int appendGifBytes(GifFileType* gif, const GifByteType* data, int length) {
    static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(data), static_cast<std::size_t>(length));
    return length;
}

ColorMapObject* colorMap(const std::vector<std::uint32_t>& colors) {
    if (colors.empty()) return nullptr;
    int count = 2;
    while (count < static_cast<int>(colors.size())) count *= 2;
    std::vector<GifColorType> entries(static_cast<std::size_t>(count), GifColorType{0, 0, 0});
    for (std::size_t i = 0; i < colors.size(); ++i) {
        entries[i] = {static_cast<GifByteType>(colors[i] >> 16), static_cast<GifByteType>(colors[i] >> 8),
                      static_cast<GifByteType>(colors[i])};
    }
    return GifMakeMapObject(count, entries.data());
}

}  // namespace

std::string bmpFile(const BmpLayout& layout) {
    const bool core = layout.headerSize == 12;
    const std::int32_t rows = layout.height < 0 ? -layout.height : layout.height;
    std::string pixels = layout.runLength;
    if (pixels.empty()) {
        for (std::int32_t fileRow = 0; fileRow < rows; ++fileRow) {
            pixels += bmpRow(layout, layout.height < 0 ? fileRow : rows - 1 - fileRow, layout.width);
        }
    }
    std::string header;
    putLe(header, layout.headerSize, 4);
    if (core) {
        putLe(header, static_cast<std::uint32_t>(layout.width), 2);
        putLe(header, static_cast<std::uint32_t>(layout.height), 2);
        putLe(header, 1, 2);
        putLe(header, layout.bits, 2);
    } else {
        putLe(header, static_cast<std::uint32_t>(layout.width), 4);
        putLe(header, static_cast<std::uint32_t>(layout.height), 4);
        putLe(header, 1, 2);
        putLe(header, layout.bits, 2);
        putLe(header, layout.compression, 4);
        putLe(header, static_cast<std::uint32_t>(pixels.size()), 4);
        putLe(header, 2835, 4);
        putLe(header, 2835, 4);
        putLe(header, layout.colorsUsed, 4);
        putLe(header, 0, 4);
        if (layout.compression == 3 || layout.headerSize > 40)
            for (std::uint32_t mask : layout.masks) putLe(header, mask, 4);
        header.resize(std::max<std::size_t>(header.size(), layout.headerSize), '\0');
    }
    for (std::uint32_t color : layout.palette) putLe(header, color, core ? 3 : 4);

    std::string file = "BM";
    putLe(file, static_cast<std::uint32_t>(14 + header.size() + pixels.size()), 4);
    putLe(file, 0, 4);
    putLe(file, static_cast<std::uint32_t>(14 + header.size()), 4);
    return file + header + pixels;
}

std::string jpegFile(const JpegLayout& layout, const JpegExtras& extras) {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(layout.width);
    info.image_height = static_cast<JDIMENSION>(layout.height);
    const J_COLOR_SPACE spaces[] = {JCS_RGB, JCS_GRAYSCALE, JCS_CMYK};
    const int components[] = {3, 1, 4};
    info.in_color_space = spaces[static_cast<int>(layout.samples)];
    info.input_components = components[static_cast<int>(layout.samples)];
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, layout.quality, TRUE);
    if (!layout.subsampled) info.comp_info[0].h_samp_factor = info.comp_info[0].v_samp_factor = 1;
    if (extras.ycck) jpeg_set_colorspace(&info, JCS_YCCK);
    if (layout.progressive) jpeg_simple_progression(&info);
    info.arith_code = extras.arithmetic;
    info.write_Adobe_marker = layout.samples == JpegSamples::cmyk && layout.adobeMarker;
    jpeg_start_compress(&info, TRUE);
    if (!extras.iccProfile.empty()) {
        jpeg_write_icc_profile(&info, reinterpret_cast<const JOCTET*>(extras.iccProfile.data()),
                               static_cast<unsigned>(extras.iccProfile.size()));
    }
    const std::size_t stride = static_cast<std::size_t>(layout.width) * info.input_components;
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(layout.values.data() + info.next_scanline * stride);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string file(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return file;
}

std::string pngFile(const PngLayout& layout, const std::string& iccProfile) {
    std::string file;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &file, appendToString, flushNothing);
    png_set_IHDR(png, info, static_cast<png_uint_32>(layout.width), static_cast<png_uint_32>(layout.height), layout.bitDepth,
                 layout.colorType, layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    for (std::uint32_t color : layout.palette) {
        palette.push_back({static_cast<png_byte>(color >> 16), static_cast<png_byte>(color >> 8), static_cast<png_byte>(color)});
    }
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    png_color_16 key{};
    const std::vector<unsigned>& t = layout.transparentColor;
    if (t.size() == 1) key.gray = static_cast<png_uint_16>(t[0]);
    if (t.size() == 3) key.red = static_cast<png_uint_16>(t[0]), key.green = static_cast<png_uint_16>(t[1]), key.blue = static_cast<png_uint_16>(t[2]);
    if (!layout.paletteAlpha.empty() || !t.empty()) {
        png_set_tRNS(png, info, layout.paletteAlpha.empty() ? nullptr : layout.paletteAlpha.data(),
                     static_cast<int>(layout.paletteAlpha.size()), t.empty() ? nullptr : &key);
    }
    if (!iccProfile.empty()) {
        png_set_iCCP(png, info, "profile", PNG_COMPRESSION_TYPE_BASE, reinterpret_cast<png_const_bytep>(iccProfile.data()),
                     static_cast<png_uint_32>(iccProfile.size()));
    }
    png_write_info(png, info);

    const std::size_t perRow = layout.values.size() / static_cast<std::size_t>(layout.height);
    std::vector<std::string> rows;
    for (int y = 0; y < layout.height; ++y) {
        const auto first = layout.values.begin() + static_cast<std::ptrdiff_t>(y * perRow);
        rows.emplace_back();
        packSamples(rows.back(), std::vector<std::uint32_t>(first, first + static_cast<std::ptrdiff_t>(perRow)), layout.bitDepth);
    }
    std::vector<png_bytep> pointers;
    for (std::string& row : rows) pointers.push_back(reinterpret_cast<png_bytep>(row.data()));
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return file;
}

std::string withPngSize(std::string png, std::uint32_t width, std::uint32_t height) {
    putBe(png, 16, width, 4);
    putBe(png, 20, height, 4);
    putBe(png, 29, crc32(png, 12, 29), 4);
    return png;
}

std::string withJpegSize(std::string jpeg, std::uint16_t width, std::uint16_t height) {
    for (std::size_t at = 2; at + 9 <= jpeg.size();) {
        const unsigned marker = static_cast<unsigned char>(jpeg[at + 1]);
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            putBe(jpeg, at + 5, height, 2);
            putBe(jpeg, at + 7, width, 2);
            break;
        }
        at += 2 + (static_cast<unsigned char>(jpeg[at + 2]) << 8 | static_cast<unsigned char>(jpeg[at + 3]));
    }
    return jpeg;
}

std::string gifFile(const GifLayout& layout) {
    std::string file;
    int error = 0;
    GifFileType* gif = EGifOpen(&file, appendGifBytes, &error);
    EGifSetGifVersion(gif, true);
    ColorMapObject* global = colorMap(layout.colors);
    EGifPutScreenDesc(gif, layout.width, layout.height, 8, 0, global);
    for (const GifFrame& frame : layout.frames) {
        if (frame.transparentIndex >= 0) {
            GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, frame.transparentIndex};
            GifByteType extension[4];
            const std::size_t length = EGifGCBToExtension(&control, extension);
            EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension);
        }
        ColorMapObject* local = colorMap(frame.colors);
        EGifPutImageDesc(gif, frame.left, frame.top, frame.width, frame.height, frame.interlaced, local);
        GifFreeMapObject(local);
        std::vector<int> order;
        const int starts[] = {0, 4, 2, 1}, steps[] = {8, 8, 4, 2};
        for (int pass = 0; pass < (frame.interlaced ? 4 : 1); ++pass)
            for (int y = frame.interlaced ? starts[pass] : 0; y < frame.height; y += frame.interlaced ? steps[pass] : 1)
                order.push_back(y);
        for (int y : order) {
            std::vector<GifPixelType> row(frame.indices.begin() + y * frame.width,
                                          frame.indices.begin() + (y + 1) * frame.width);
            EGifPutLine(gif, row.data(), frame.width);
        }
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(global);
    return file;
}

std::string encodedWith(const std::string& command, const std::string& input, const std::string& inputName) {
    char folderTemplate[] = "/tmp/vellora-encode-XXXXXX";
    const char* folder = mkdtemp(folderTemplate);
    if (folder == nullptr) return {};
    const std::string in = std::string(folder) + "/" + inputName, out = std::string(folder) + "/out";
    std::ofstream(in, std::ios::binary).write(input.data(), static_cast<std::streamsize>(input.size()));
    std::string line = command;
    for (const auto& [name, path] : {std::pair<std::string, std::string>{"{in}", in}, {"{out}", out}})
        for (std::size_t at; (at = line.find(name)) != std::string::npos;) line.replace(at, name.size(), path);
    std::string bytes;
    if (std::system(("(" + line + ") >/dev/null 2>&1").c_str()) == 0) {
        std::ifstream file(out, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    std::filesystem::remove_all(folder);
    return bytes;
}

std::string displayP3Profile() {
    const cmsCIExyY white{0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries{{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
    const double parameters[] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, parameters);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::string bytes(size, '\0');
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

}  // namespace vellora::test
