// TIFF through libtiff: the first image, in any photometric interpretation that
// libtiff's RGBA interface converts, read from memory through client procedures.
// Rows come out as stored; the Orientation tag goes to the caller, which applies
// it only when photos are to be turned upright, as with a JPEG's EXIF tag.
#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

#include "platform/decoding/decode_formats.h"

namespace vellora::linux_platform::formats {
namespace {

tmsize_t readFromMemory(thandle_t handle, void* out, tmsize_t wanted) {
    auto* source = static_cast<MemorySource*>(handle);
    if (wanted < 0) return -1;
    return static_cast<tmsize_t>(source->read(out, static_cast<std::size_t>(wanted)));
}

tmsize_t refuseWrite(thandle_t, void*, tmsize_t) { return -1; }

toff_t seekInMemory(thandle_t handle, toff_t offset, int whence) {
    auto* source = static_cast<MemorySource*>(handle);
    std::uint64_t base = 0;
    if (whence == SEEK_CUR) base = source->at;
    if (whence == SEEK_END) base = source->size;
    const std::uint64_t to = base + offset;
    if (to < base || to > source->size) return static_cast<toff_t>(-1);
    source->at = static_cast<std::size_t>(to);
    return to;
}

int closeNothing(thandle_t) { return 0; }
toff_t memorySize(thandle_t handle) { return static_cast<MemorySource*>(handle)->size; }
int mapNothing(thandle_t, void**, toff_t*) { return 0; }
void unmapNothing(thandle_t, void*, toff_t) {}

// libtiff reports to the terminal unless told otherwise: once for the whole
// process, and again for each file through its own options.
int ignoreMessage(TIFF*, void*, const char*, const char*, va_list) { return 1; }

}  // namespace

void prepareTiff() {
    static const bool silenced = (TIFFSetErrorHandler(nullptr), TIFFSetWarningHandler(nullptr), true);
    (void)silenced;
}

namespace {

struct TiffDeleter {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

TIFF* openFromMemory(MemorySource& source) {
    const std::unique_ptr<TIFFOpenOptions, TiffDeleter> options(TIFFOpenOptionsAlloc());
    if (!options) return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), ignoreMessage, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), ignoreMessage, nullptr);
    // No single buffer of libtiff's needs more than a capped picture's pixels.
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), static_cast<tmsize_t>(maxDecodedPixels * 4));
    return TIFFClientOpenExt("memory", "rm", &source, readFromMemory, refuseWrite, seekInMemory, closeNothing, memorySize,
                             mapNothing, unmapNothing, options.get());
}

class FileBytes {
public:
    FileBytes(const unsigned char* data, std::size_t size, bool bigEndian) : data_(data), size_(size), bigEndian_(bigEndian) {}
    bool has(std::uint64_t at, std::uint64_t count) const { return at <= size_ && count <= size_ - at; }
    // A value of `bytes` bytes, or nothing when it runs past the end.
    std::optional<std::uint64_t> read(std::uint64_t at, int bytes) const {
        if (!has(at, static_cast<std::uint64_t>(bytes))) return std::nullopt;
        std::uint64_t value = 0;
        for (int i = 0; i < bytes; ++i) value = value << 8 | data_[at + static_cast<std::uint64_t>(bigEndian_ ? i : bytes - 1 - i)];
        return value;
    }

private:
    const unsigned char* data_;
    std::size_t size_;
    bool bigEndian_;
};

std::uint64_t bytesPerValue(std::uint64_t type) {
    constexpr std::uint8_t sizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4, 0, 0, 8, 8, 8};
    return type < sizeof sizes ? sizes[type] : 0;
}

// The first directory, and every value it keeps outside its entries, lies inside
// the file. libtiff passes over a tag whose values are cut off, which would let a
// truncated file through whenever its end held only such values.
bool directoryInsideFile(const unsigned char* data, std::size_t size) {
    const FileBytes file(data, size, data[0] == 'M');
    const bool big = file.read(2, 2) == 43u;
    const int offsetBytes = big ? 8 : 4, countBytes = big ? 8 : 2;
    const std::uint64_t entryBytes = big ? 20 : 12;
    const std::optional<std::uint64_t> directory = file.read(big ? 8 : 4, offsetBytes);
    const std::optional<std::uint64_t> entries = directory ? file.read(*directory, countBytes) : std::nullopt;
    if (!entries || *entries > size / entryBytes || !file.has(*directory + countBytes, *entries * entryBytes + offsetBytes))
        return false;
    for (std::uint64_t i = 0; i < *entries; ++i) {
        const std::uint64_t entry = *directory + countBytes + i * entryBytes;
        const std::uint64_t valueBytes = bytesPerValue(*file.read(entry + 2, 2));
        const std::uint64_t count = *file.read(entry + 4, offsetBytes);
        if (valueBytes == 0 || count > size) continue;  // a type libtiff does not know, or nonsense it refuses itself
        if (count * valueBytes <= static_cast<std::uint64_t>(offsetBytes)) continue;
        if (!file.has(*file.read(entry + 4 + static_cast<std::uint64_t>(offsetBytes), offsetBytes), count * valueBytes))
            return false;
    }
    return true;
}

// Every strip or tile lies inside the file: a truncated file fails here, before
// its pixels are allocated.
bool stripsInsideFile(TIFF* tiff, std::size_t size) {
    const std::uint32_t count = TIFFIsTiled(tiff) ? TIFFNumberOfTiles(tiff) : TIFFNumberOfStrips(tiff);
    if (count == 0) return false;
    for (std::uint32_t i = 0; i < count; ++i) {
        int failed = 0;
        const std::uint64_t offset = TIFFGetStrileOffsetWithErr(tiff, i, &failed);
        const std::uint64_t length = TIFFGetStrileByteCountWithErr(tiff, i, &failed);
        if (failed || offset > size || length > size - offset) return false;
    }
    return true;
}

void keepTags(TIFF* tiff, DecodedImage& image) {
    std::uint16_t orientation = ORIENTATION_TOPLEFT;
    if (TIFFGetField(tiff, TIFFTAG_ORIENTATION, &orientation) && orientation >= 1 && orientation <= 8)
        image.orientation = orientation;
    std::uint32_t length = 0;
    const unsigned char* profile = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &length, &profile) && profile != nullptr)
        image.iccProfile.assign(profile, profile + length);
}

// Reads the rows as stored, top row first: telling the RGBA reader that both the
// file's orientation and the one wanted are top-left keeps it from flipping.
bool readStoredRows(TIFF* tiff, DecodedImage& image) {
    char message[1024];
    TIFFRGBAImage reader;
    if (!TIFFRGBAImageOK(tiff, message) || !TIFFRGBAImageBegin(&reader, tiff, 1, message)) return false;
    reader.orientation = ORIENTATION_TOPLEFT;
    reader.req_orientation = ORIENTATION_TOPLEFT;
    const bool read = TIFFRGBAImageGet(&reader, image.pixels.data(), reader.width, reader.height) != 0;
    TIFFRGBAImageEnd(&reader);
    return read;
}

}  // namespace

bool decodeTiff(const unsigned char* data, std::size_t size, DecodedImage& image) {
    prepareTiff();
    if (size < 16 || !directoryInsideFile(data, size)) return false;
    MemorySource source{data, size, 0};
    const std::unique_ptr<TIFF, TiffDeleter> tiff(openFromMemory(source));
    if (!tiff) return false;
    std::uint32_t width = 0, height = 0;
    if (!TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height) ||
        !fitsPixelCap(width, height) || !stripsInsideFile(tiff.get(), size))
        return false;
    sizeImage(image, width, height, false);
    if (!readStoredRows(tiff.get(), image)) return false;
    // The reader composites any alpha over black itself, and packs each pixel as
    // a word of its own.
    for (std::uint32_t& pixel : image.pixels) pixel = rgb(TIFFGetR(pixel), TIFFGetG(pixel), TIFFGetB(pixel));
    keepTags(tiff.get(), image);
    return true;
}

}  // namespace vellora::linux_platform::formats
