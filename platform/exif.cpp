#include "platform/exif.h"

#include <algorithm>
#include <cstring>

namespace vellora {
namespace {

constexpr unsigned char markerStart = 0xFF;
constexpr unsigned char startOfImage = 0xD8;
constexpr unsigned char endOfImage = 0xD9;
constexpr unsigned char startOfScan = 0xDA;
constexpr unsigned char app1 = 0xE1;
constexpr std::uint16_t orientationTag = 0x0112;
constexpr std::uint16_t exifIfdTag = 0x8769;
constexpr std::uint16_t dateTimeOriginalTag = 0x9003;
constexpr std::uint16_t typeAscii = 2, typeShort = 3, typeLong = 4, typeIfd = 13;
constexpr std::size_t ifdEntrySize = 12;
constexpr std::size_t exifDateLength = 19;  // "YYYY:MM:DD HH:MM:SS"

// Steps of each walk; far beyond what any real file needs.
constexpr int maxJpegSteps = 1 << 20;   // markers and fill bytes
constexpr int maxChunks = 1 << 16;      // RIFF and PNG chunks, boxes of one level
constexpr int maxLocationSteps = 1 << 18;  // items and extents of iloc

// A bounded part of a file, read in one byte order; every read says whether it
// stayed inside.
class Range {
public:
    Range(const ByteSource& source, std::uint64_t start, std::uint64_t size, bool bigEndian = true)
        : source_(&source), start_(start), size_(size), bigEndian_(bigEndian) {}
    std::uint64_t size() const { return size_; }
    bool has(std::uint64_t offset, std::uint64_t length) const { return offset <= size_ && length <= size_ - offset; }
    bool copy(std::uint64_t offset, std::size_t length, unsigned char* into) const {
        return has(offset, length) && source_->read(start_ + offset, length, into);
    }
    // An unsigned number of 0 to 8 bytes.
    std::optional<std::uint64_t> number(std::uint64_t offset, unsigned bytes) const {
        unsigned char b[8];
        if (bytes > 8 || !copy(offset, bytes, b)) return std::nullopt;
        std::uint64_t value = 0;
        for (unsigned i = 0; i < bytes; ++i) value = value << 8 | b[bigEndian_ ? i : bytes - 1 - i];
        return value;
    }
    std::optional<std::uint8_t> u8(std::uint64_t offset) const { return narrow<std::uint8_t>(number(offset, 1)); }
    std::optional<std::uint16_t> u16(std::uint64_t offset) const { return narrow<std::uint16_t>(number(offset, 2)); }
    std::optional<std::uint32_t> u32(std::uint64_t offset) const { return narrow<std::uint32_t>(number(offset, 4)); }
    bool startsWith(std::uint64_t offset, const char* text, std::size_t length) const {
        unsigned char b[16];
        return length <= sizeof b && copy(offset, length, b) && std::memcmp(b, text, length) == 0;
    }
    // The part from `offset` on, `length` long, which the caller has checked is there.
    Range part(std::uint64_t offset, std::uint64_t length) const { return {*source_, start_ + offset, length, bigEndian_}; }
    Range from(std::uint64_t offset) const { return part(offset, size_ - offset); }
    Range inOrder(bool bigEndian) const { return {*source_, start_, size_, bigEndian}; }

private:
    template <typename T>
    static std::optional<T> narrow(std::optional<std::uint64_t> v) {
        if (!v) return std::nullopt;
        return static_cast<T>(*v);
    }

    const ByteSource* source_;
    std::uint64_t start_, size_;
    bool bigEndian_;
};

// ---- TIFF: the header, and the entries of one directory.

// The TIFF block read in its own byte order; nothing without a valid header.
std::optional<Range> tiffIn(const Range& block) {
    bool bigEndian = false;
    if (block.startsWith(0, "MM", 2))
        bigEndian = true;
    else if (!block.startsWith(0, "II", 2))
        return std::nullopt;
    const Range tiff = block.inOrder(bigEndian);
    if (tiff.u16(2) != 42) return std::nullopt;
    return tiff;
}

struct IfdEntry {
    std::uint16_t type;
    std::uint32_t count;
    std::uint64_t valueAt;  // where the entry's four value bytes are
};

// The first entry of `tag` in the directory at `ifd`; nothing when the directory
// does not lie whole inside the block.
std::optional<IfdEntry> entryOf(const Range& tiff, std::uint32_t ifd, std::uint16_t tag) {
    const std::optional<std::uint16_t> count = tiff.u16(ifd);
    if (!count || !tiff.has(std::uint64_t{ifd} + 2, std::uint64_t{*count} * ifdEntrySize)) return std::nullopt;
    for (std::uint32_t i = 0; i < *count; ++i) {
        const std::uint64_t entry = std::uint64_t{ifd} + 2 + std::uint64_t{i} * ifdEntrySize;
        if (tiff.u16(entry) != tag) continue;
        return IfdEntry{*tiff.u16(entry + 2), *tiff.u32(entry + 4), entry + 8};
    }
    return std::nullopt;
}

std::optional<IfdEntry> entryInFirstIfd(const Range& tiff, std::uint16_t tag) {
    const std::optional<std::uint32_t> ifd = tiff.u32(4);
    return ifd ? entryOf(tiff, *ifd, tag) : std::nullopt;
}

int orientationInTiff(const Range& block) {
    const std::optional<Range> tiff = tiffIn(block);
    const std::optional<IfdEntry> entry = tiff ? entryInFirstIfd(*tiff, orientationTag) : std::nullopt;
    if (!entry || entry->type != typeShort || entry->count != 1) return noOrientation;
    const std::uint16_t value = *tiff->u16(entry->valueAt);
    return value >= 1 && value <= 8 ? value : noOrientation;
}

// ---- The date and time itself.

std::optional<int> digits(const char* text, std::size_t length) {
    int value = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

int daysInMonth(int year, int month) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

std::optional<PhotoTime> parseExifTime(const char (&text)[exifDateLength]) {
    const char dateSeparator = text[4];
    if (std::strchr(":-/.", dateSeparator) == nullptr || dateSeparator == '\0' || text[7] != dateSeparator ||
        (text[10] != ' ' && text[10] != 'T'))
        return std::nullopt;
    const std::optional<int> year = digits(text, 4), month = digits(text + 5, 2), day = digits(text + 8, 2);
    if (!year || !month || !day || *year < 1 || *month < 1 || *month > 12 || *day < 1 ||
        *day > daysInMonth(*year, *month))
        return std::nullopt;
    PhotoTime time{*year, *month, *day, 0, 0, 0};
    if (std::memcmp(text + 11, "        ", 8) == 0 || std::memcmp(text + 11, "  :  :  ", 8) == 0) return time;
    const std::optional<int> hour = digits(text + 11, 2), minute = digits(text + 14, 2), second = digits(text + 17, 2);
    if (!hour || !minute || !second || text[13] != ':' || text[16] != ':' || *hour > 23 || *minute > 59 || *second > 60)
        return std::nullopt;
    time.hour = *hour;
    time.minute = *minute;
    time.second = *second;
    return time;
}

std::optional<PhotoTime> timeInTiff(const Range& block) {
    const std::optional<Range> tiff = tiffIn(block);
    const std::optional<IfdEntry> pointer = tiff ? entryInFirstIfd(*tiff, exifIfdTag) : std::nullopt;
    if (!pointer || (pointer->type != typeLong && pointer->type != typeIfd) || pointer->count != 1) return std::nullopt;
    const std::optional<IfdEntry> date = entryOf(*tiff, *tiff->u32(pointer->valueAt), dateTimeOriginalTag);
    if (!date || date->type != typeAscii || date->count < exifDateLength) return std::nullopt;
    char text[exifDateLength];
    if (!tiff->copy(*tiff->u32(date->valueAt), exifDateLength, reinterpret_cast<unsigned char*>(text)))
        return std::nullopt;
    return parseExifTime(text);
}

std::optional<PhotoTime> timeIn(const std::optional<Range>& block) {
    return block ? timeInTiff(*block) : std::nullopt;
}

// ---- Where each format keeps its EXIF block.

// The TIFF block of the first APP1 segment that starts with "Exif\0\0", before the image data.
std::optional<Range> jpegExif(const Range& file) {
    if (!file.startsWith(0, "\xFF\xD8", 2)) return std::nullopt;
    std::uint64_t pos = 2;
    // Each step moves past at least one byte, so the walk ends within the file.
    for (int steps = 0; pos < file.size() && steps < maxJpegSteps; ++steps) {
        if (file.u8(pos) != markerStart) return std::nullopt;
        while (file.u8(pos) == markerStart) {  // fill bytes
            if (++steps == maxJpegSteps) return std::nullopt;
            ++pos;
        }
        const std::optional<std::uint8_t> marker = file.u8(pos++);
        if (!marker || *marker == startOfScan || *marker == endOfImage || *marker == startOfImage) return std::nullopt;
        const bool standalone = *marker == 0x01 || (*marker >= 0xD0 && *marker <= 0xD7);
        if (standalone) continue;
        const std::optional<std::uint16_t> length = file.u16(pos);
        if (!length || *length < 2 || !file.has(pos, *length)) return std::nullopt;
        if (*marker == app1 && *length >= 8 && file.startsWith(pos + 2, "Exif\0\0", 6))
            return file.part(pos + 8, *length - 8u);
        pos += *length;
    }
    return std::nullopt;
}

// WebP's EXIF chunk, which some writers start with "Exif\0\0" as in a JPEG.
std::optional<Range> webpExif(const Range& file) {
    const Range riff = file.inOrder(false);
    std::uint64_t pos = 12;
    for (int chunks = 0; chunks < maxChunks && riff.has(pos, 8); ++chunks) {
        const std::uint32_t size = *riff.u32(pos + 4);
        if (!riff.has(pos + 8, size)) return std::nullopt;
        if (riff.startsWith(pos, "EXIF", 4)) {
            const Range data = riff.part(pos + 8, size);
            return data.startsWith(0, "Exif\0\0", 6) ? data.from(6) : data;
        }
        pos += 8 + std::uint64_t{size} + (size & 1);
    }
    return std::nullopt;
}

std::optional<Range> pngExif(const Range& file) {
    std::uint64_t pos = 8;
    for (int chunks = 0; chunks < maxChunks && file.has(pos, 8); ++chunks) {
        const std::uint32_t length = *file.u32(pos);
        if (!file.has(pos + 8, length)) return std::nullopt;
        if (file.startsWith(pos + 4, "eXIf", 4)) return file.part(pos + 8, length);
        if (file.startsWith(pos + 4, "IEND", 4)) return std::nullopt;
        pos += 12 + std::uint64_t{length};
    }
    return std::nullopt;
}

// ISO base media boxes, as HEIF, AVIF and the JPEG XL container use them.
struct Box {
    std::uint32_t type;
    std::uint64_t end;  // just past the box, in the range it was found in
    Range contents;
};

std::optional<Box> boxAt(const Range& within, std::uint64_t at) {
    const std::optional<std::uint32_t> size32 = within.u32(at), type = within.u32(at + 4);
    if (!size32 || !type) return std::nullopt;
    std::uint64_t size = *size32, header = 8;
    if (size == 1) {
        const std::optional<std::uint64_t> large = within.number(at + 8, 8);
        if (!large) return std::nullopt;
        size = *large;
        header = 16;
    } else if (size == 0) {
        size = within.size() - at;  // to the end
    }
    if (size < header || !within.has(at, size)) return std::nullopt;
    return Box{*type, at + size, within.part(at + header, size - header)};
}

// The first box of `type` among the boxes of `within`.
std::optional<Box> boxOf(const Range& within, std::uint32_t type) {
    std::uint64_t at = 0;
    for (int boxes = 0; boxes < maxChunks; ++boxes) {
        const std::optional<Box> box = boxAt(within, at);
        if (!box || box->type == type) return box;
        at = box->end;
    }
    return std::nullopt;
}

// The contents of a full box after its version and flags.
std::optional<Range> fullBoxContents(const std::optional<Box>& box) {
    if (!box || !box->contents.has(0, 4)) return std::nullopt;
    return box->contents.from(4);
}

// An Exif item or box: a four-byte offset, from after it, of the TIFF header.
std::optional<Range> exifPayload(const Range& payload) {
    const std::optional<std::uint32_t> offset = payload.u32(0);
    if (!offset || !payload.has(4 + std::uint64_t{*offset}, 0)) return std::nullopt;
    return payload.from(4 + std::uint64_t{*offset});
}

// The id of the item of type Exif in an item information box.
std::optional<std::uint32_t> exifItemId(const Range& iinf) {
    const std::optional<std::uint8_t> version = iinf.u8(0);
    if (!version) return std::nullopt;
    const std::uint64_t entriesAt = *version == 0 ? 6 : 8;
    if (!iinf.has(entriesAt, 0)) return std::nullopt;
    const Range entries = iinf.from(entriesAt);
    std::uint64_t at = 0;
    for (int boxes = 0; boxes < maxChunks; ++boxes) {
        const std::optional<Box> infe = boxAt(entries, at);
        if (!infe) return std::nullopt;
        at = infe->end;
        const Range& e = infe->contents;
        const std::optional<std::uint8_t> v = e.u8(0);
        if (infe->type != fourCc("infe") || !v || *v < 2) continue;
        const std::optional<std::uint64_t> id = e.number(4, *v == 2 ? 2 : 4);
        const std::optional<std::uint32_t> type = e.u32(*v == 2 ? 8 : 10);
        if (id && type == fourCc("Exif")) return static_cast<std::uint32_t>(*id);
    }
    return std::nullopt;
}

struct ItemPlace {
    unsigned constructionMethod;  // 0 in the file, 1 in idat
    std::uint64_t offset, length;  // length 0: to the end
};

// Where the item location box puts the first extent of item `id`.
std::optional<ItemPlace> itemPlace(const Range& iloc, std::uint32_t id) {
    const std::optional<std::uint8_t> version = iloc.u8(0), sizes = iloc.u8(4), moreSizes = iloc.u8(5);
    if (!version || *version > 2 || !sizes || !moreSizes) return std::nullopt;
    const unsigned offsetSize = *sizes >> 4, lengthSize = *sizes & 15, baseSize = *moreSizes >> 4;
    const unsigned indexSize = *version == 0 ? 0 : *moreSizes & 15;
    for (unsigned s : {offsetSize, lengthSize, baseSize, indexSize})
        if (s != 0 && s != 4 && s != 8) return std::nullopt;
    const unsigned idSize = *version < 2 ? 2 : 4;
    std::uint64_t pos = 6;
    const std::optional<std::uint64_t> items = iloc.number(pos, idSize);
    pos += idSize;
    int steps = 0;
    for (std::uint64_t i = 0; items && i < *items && ++steps < maxLocationSteps; ++i) {
        const std::optional<std::uint64_t> item = iloc.number(pos, idSize);
        pos += idSize;
        std::optional<std::uint64_t> method = 0;
        if (*version != 0) {
            method = iloc.number(pos, 2);
            pos += 2;
        }
        const std::optional<std::uint64_t> reference = iloc.number(pos, 2), base = iloc.number(pos + 2, baseSize);
        pos += 2 + baseSize;
        const std::optional<std::uint64_t> extents = iloc.number(pos, 2);
        pos += 2;
        if (!item || !method || !reference || !base || !extents) return std::nullopt;
        if (*item == id) {
            const std::optional<std::uint64_t> offset = iloc.number(pos + indexSize, offsetSize),
                                               length = iloc.number(pos + indexSize + offsetSize, lengthSize);
            // An item in another file, or in no place at all, is not there to read.
            if (*reference != 0 || *extents == 0 || !offset || !length) return std::nullopt;
            return ItemPlace{static_cast<unsigned>(*method & 15), *base + *offset, *length};
        }
        // Extents of zero-sized fields take no bytes: the step count bounds them too.
        for (std::uint64_t e = 0; e < *extents && ++steps < maxLocationSteps; ++e)
            pos += indexSize + offsetSize + lengthSize;
    }
    return std::nullopt;
}

// HEIF's and AVIF's Exif item: meta > iinf names it, meta > iloc places it.
std::optional<Range> heifExif(const Range& file) {
    const std::optional<Range> meta = fullBoxContents(boxOf(file, fourCc("meta")));
    if (!meta) return std::nullopt;
    const std::optional<Box> iinf = boxOf(*meta, fourCc("iinf")), iloc = boxOf(*meta, fourCc("iloc"));
    const std::optional<std::uint32_t> id = iinf ? exifItemId(iinf->contents) : std::nullopt;
    const std::optional<ItemPlace> place = id && iloc ? itemPlace(iloc->contents, *id) : std::nullopt;
    if (!place || place->constructionMethod > 1) return std::nullopt;
    Range store = file;
    if (place->constructionMethod == 1) {
        const std::optional<Box> idat = boxOf(*meta, fourCc("idat"));
        if (!idat) return std::nullopt;
        store = idat->contents;
    }
    const std::uint64_t length = place->length != 0 ? place->length : store.size() - std::min(place->offset, store.size());
    if (!store.has(place->offset, length)) return std::nullopt;
    return exifPayload(store.part(place->offset, length));
}

std::optional<PhotoTime> jxlTime(const Range& file, BrotliInflater inflate) {
    std::uint64_t at = 0;
    for (int boxes = 0; boxes < maxChunks; ++boxes) {
        const std::optional<Box> box = boxAt(file, at);
        if (!box) return std::nullopt;
        at = box->end;
        if (box->type == fourCc("Exif")) return timeIn(exifPayload(box->contents));
        if (box->type != fourCc("brob") || !inflate || !box->contents.startsWith(0, "Exif", 4)) continue;
        const std::uint64_t compressed = box->contents.size() - 4;
        if (compressed > maxExifBytes) return std::nullopt;
        std::vector<unsigned char> bytes(static_cast<std::size_t>(compressed));
        if (!box->contents.copy(4, bytes.size(), bytes.data())) return std::nullopt;
        const std::optional<std::vector<unsigned char>> inflated = inflate(bytes.data(), bytes.size(), maxExifBytes);
        if (!inflated) return std::nullopt;
        const MemoryBytes payload(inflated->data(), inflated->size());
        return timeIn(exifPayload(Range(payload, 0, payload.size())));
    }
    return std::nullopt;
}

}  // namespace

int jpegOrientation(const unsigned char* data, std::size_t size) {
    const MemoryBytes bytes(data, size);
    const std::optional<Range> exif = jpegExif(Range(bytes, 0, size));
    return exif ? orientationInTiff(*exif) : noOrientation;
}

std::optional<PhotoTime> photoTimeTaken(const ByteSource& source, BrotliInflater inflate) {
    const Range file(source, 0, source.size());
    if (file.startsWith(0, "\xFF\xD8", 2)) return timeIn(jpegExif(file));
    if (file.startsWith(0, "II*\0", 4) || file.startsWith(0, "MM\0*", 4)) return timeInTiff(file);
    if (file.startsWith(0, "RIFF", 4) && file.startsWith(8, "WEBP", 4)) return timeIn(webpExif(file));
    if (file.startsWith(0, "\x89PNG\r\n\x1a\n", 8)) return timeIn(pngExif(file));
    if (file.startsWith(0, "\0\0\0\x0CJXL \r\n\x87\n", 12)) return jxlTime(file, inflate);
    if (file.startsWith(4, "ftyp", 4)) return timeIn(heifExif(file));
    return std::nullopt;
}

}  // namespace vellora
