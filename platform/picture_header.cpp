#include "platform/picture_header.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <optional>

namespace vellora {
namespace {

// Where the bytes come from: memory, or a file fetched in aligned pieces of
// which the last one is kept. A piece that cannot be fetched, or would pass the
// bound, fails the source for good.
class Source {
public:
    Source(const unsigned char* data, std::uint64_t size) : data_(data), size_(size) {}
    explicit Source(const ByteSource& file) : file_(&file), size_(file.size()) {}

    std::uint64_t size() const { return size_; }
    bool failed() const { return failed_; }
    // The byte at `at`, which is below size(); 0 once the source has failed.
    unsigned char at(std::uint64_t at) {
        if (!file_) return data_[at];
        if (at - pieceAt_ >= pieceLength_ && !fetchPieceOf(at)) return 0;
        return piece_[at - pieceAt_];
    }

private:
    static constexpr std::uint64_t pieceBytes = 4096;

    bool fetchPieceOf(std::uint64_t at) {
        const std::uint64_t start = at / pieceBytes * pieceBytes;
        const auto length = static_cast<std::size_t>(std::min(pieceBytes, size_ - start));
        failed_ = failed_ || fetched_ + length > maxHeaderBytesRead || !file_->read(start, length, piece_.data());
        if (failed_) return false;
        fetched_ += length;
        pieceAt_ = start, pieceLength_ = length;
        return true;
    }

    const unsigned char* data_ = nullptr;
    const ByteSource* file_ = nullptr;
    std::uint64_t size_;
    std::array<unsigned char, pieceBytes> piece_{};
    std::uint64_t pieceAt_ = 0;
    std::size_t pieceLength_ = 0;
    std::uint64_t fetched_ = 0;
    bool failed_ = false;
};

// The file's bytes, or its first `size()` of them; every read says whether it
// fell inside them. Once the source has failed, nothing more is inside.
class Bytes {
public:
    explicit Bytes(Source& source) : source_(source), size_(source.size()) {}
    // The same bytes up to `end` only.
    Bytes(const Bytes& whole, std::uint64_t end) : source_(whole.source_), size_(std::min(end, whole.size_)) {}

    std::uint64_t size() const { return size_; }
    bool has(std::uint64_t at, std::uint64_t count) const {
        return !source_.failed() && at <= size_ && count <= size_ - at;
    }
    bool startsWith(const char* signature, std::size_t length) const {
        if (!has(0, length)) return false;
        for (std::size_t i = 0; i < length; ++i)
            if (source_.at(i) != static_cast<unsigned char>(signature[i])) return false;
        return true;
    }
    std::optional<std::uint32_t> byte(std::uint64_t at) const { return read(at, 1, false); }
    std::optional<std::uint32_t> le16(std::uint64_t at) const { return read(at, 2, false); }
    std::optional<std::uint32_t> le32(std::uint64_t at) const { return read(at, 4, false); }
    std::optional<std::uint32_t> be16(std::uint64_t at) const { return read(at, 2, true); }
    std::optional<std::uint32_t> be32(std::uint64_t at) const { return read(at, 4, true); }
    std::optional<std::uint64_t> u64(std::uint64_t at, bool bigEndian) const {
        std::optional<std::uint32_t> first = read(at, 4, bigEndian), second = read(at + 4, 4, bigEndian);
        if (!first || !second) return std::nullopt;
        return bigEndian ? (std::uint64_t{*first} << 32 | *second) : (std::uint64_t{*second} << 32 | *first);
    }
    std::optional<std::uint32_t> read(std::uint64_t at, int count, bool bigEndian) const {
        if (!has(at, static_cast<std::uint64_t>(count))) return std::nullopt;
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i)
            value = value << 8 | source_.at(at + static_cast<std::uint64_t>(bigEndian ? i : count - 1 - i));
        return value;
    }

private:
    Source& source_;
    std::uint64_t size_;
};

PictureHeader damaged(PictureFormat format) { return {HeaderStatus::damaged, format, 0, 0}; }

PictureHeader sized(PictureFormat format, std::uint64_t width, std::uint64_t height) {
    if (width == 0 || height == 0) return damaged(format);
    return {HeaderStatus::sized, format, width, height};
}

PictureHeader readBmp(const Bytes& b) {
    constexpr std::uint64_t fileHeader = 14;
    const std::optional<std::uint32_t> infoSize = b.le32(fileHeader);
    if (!infoSize || !b.has(fileHeader, *infoSize)) return damaged(PictureFormat::bmp);
    if (*infoSize == 12) {  // the oldest header: unsigned 16-bit sizes, always bottom-up
        return sized(PictureFormat::bmp, *b.le16(18), *b.le16(20));
    }
    constexpr std::array<std::uint32_t, 7> laterHeaders = {16, 40, 52, 56, 64, 108, 124};
    if (std::find(laterHeaders.begin(), laterHeaders.end(), *infoSize) == laterHeaders.end())
        return damaged(PictureFormat::bmp);
    const auto width = static_cast<std::int32_t>(*b.le32(18));
    const auto height = static_cast<std::int32_t>(*b.le32(22));
    if (width <= 0 || height == 0 || height == INT32_MIN) return damaged(PictureFormat::bmp);
    return sized(PictureFormat::bmp, static_cast<std::uint32_t>(width),
                 static_cast<std::uint32_t>(height < 0 ? -height : height));
}

// A decoder may lay the first image anywhere on the logical screen, so the area it
// has to hold covers both.
PictureHeader readGif(const Bytes& b) {
    const std::optional<std::uint32_t> flags = b.byte(10);
    if (!flags || !b.has(0, 13)) return damaged(PictureFormat::gif);
    const std::uint32_t screenWidth = *b.le16(6), screenHeight = *b.le16(8);
    std::uint64_t at = 13;
    if (*flags & 0x80) at += 3u << ((*flags & 7) + 1);
    for (;;) {
        const std::optional<std::uint32_t> block = b.byte(at);
        if (block == 0x2Cu) {
            if (!b.has(at, 10)) break;
            const std::uint32_t left = *b.le16(at + 1), top = *b.le16(at + 3);
            const std::uint32_t width = *b.le16(at + 5), height = *b.le16(at + 7);
            if (width == 0 || height == 0) break;
            return sized(PictureFormat::gif, std::max(screenWidth, left + width),
                         std::max(screenHeight, top + height));
        }
        if (block != 0x21u) break;  // the end, the trailer or garbage before any image
        at += 2;                    // introducer and label, then sub-blocks up to an empty one
        for (std::optional<std::uint32_t> length = b.byte(at); length && *length != 0; length = b.byte(at))
            at += 1 + *length;
        if (!b.has(at, 1)) break;
        at += 1;
    }
    return damaged(PictureFormat::gif);
}

bool isStartOfFrame(std::uint32_t marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool standsAlone(std::uint32_t marker) { return marker == 0x01 || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7); }

// Walks the markers the way decoders do: bytes between segments that are not a
// marker are skipped, as are fill bytes, so no frame hides from this reader that a
// decoder would find.
PictureHeader readJpeg(const Bytes& b) {
    std::uint64_t at = 2;
    for (;;) {
        while (b.has(at, 1) && *b.byte(at) != 0xFF) ++at;
        while (b.has(at, 1) && *b.byte(at) == 0xFF) ++at;
        const std::optional<std::uint32_t> marker = b.byte(at);
        if (!marker) break;
        ++at;
        if (*marker == 0x00 || standsAlone(*marker)) continue;
        if (*marker == 0xD9 || *marker == 0xDA) break;  // the end, or image data, before any frame
        const std::optional<std::uint32_t> length = b.be16(at);
        if (!length || *length < 2) break;
        if (isStartOfFrame(*marker)) {
            const std::optional<std::uint32_t> height = b.be16(at + 3), width = b.be16(at + 5);
            if (*length < 7 || !height || !width) break;
            return sized(PictureFormat::jpeg, *width, *height);
        }
        at += *length;
    }
    return damaged(PictureFormat::jpeg);
}

PictureHeader readPng(const Bytes& b) {
    constexpr std::uint64_t wholeHeaderChunk = 8 + 4 + 4 + 13 + 4;
    if (!b.has(0, wholeHeaderChunk) || *b.be32(8) != 13 || *b.be32(12) != 0x49484452u)  // "IHDR"
        return damaged(PictureFormat::png);
    const std::uint32_t width = *b.be32(16), height = *b.be32(20);
    if (width > INT32_MAX || height > INT32_MAX) return damaged(PictureFormat::png);
    return sized(PictureFormat::png, width, height);
}

// Classic TIFF has 12-byte entries with 32-bit counts and offsets; BigTIFF 20-byte
// entries with 64-bit ones.
struct TiffLayout {
    bool bigEndian;
    bool big;
};

PictureHeader readTiff(const Bytes& b, TiffLayout layout) {
    const bool be = layout.bigEndian;
    auto u16 = [&](std::uint64_t at) { return b.read(at, 2, be); };
    auto u32 = [&](std::uint64_t at) { return b.read(at, 4, be); };
    std::optional<std::uint64_t> directory;
    if (layout.big) {
        if (u16(4) != 8u || u16(6) != 0u) return damaged(PictureFormat::tiff);
        directory = b.u64(8, be);
    } else if (std::optional<std::uint32_t> offset = u32(4)) {
        directory = *offset;
    }
    const std::uint64_t countSize = layout.big ? 8 : 2, entrySize = layout.big ? 20 : 12;
    if (!directory || !b.has(*directory, countSize)) return damaged(PictureFormat::tiff);
    const std::uint64_t count = layout.big ? *b.u64(*directory, be) : *u16(*directory);
    const std::uint64_t entries = *directory + countSize;
    if (count > b.size() / entrySize || !b.has(entries, count * entrySize)) return damaged(PictureFormat::tiff);

    std::optional<std::uint64_t> width, height;
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t entry = entries + i * entrySize;
        const std::uint32_t tag = *u16(entry), type = *u16(entry + 2);
        if (tag != 256 && tag != 257) continue;
        const std::uint64_t values = layout.big ? *b.u64(entry + 4, be) : *u32(entry + 4);
        const std::uint64_t field = entry + (layout.big ? 12 : 8);
        std::optional<std::uint64_t> value;
        if (values == 0) return damaged(PictureFormat::tiff);
        if (type == 3) value = *u16(field);
        if (type == 4) value = *u32(field);
        if (type == 16 && layout.big) value = *b.u64(field, be);
        if (!value) return damaged(PictureFormat::tiff);
        (tag == 256 ? width : height) = value;
    }
    if (!width || !height) return damaged(PictureFormat::tiff);
    return sized(PictureFormat::tiff, *width, *height);
}

// ---- WebP: a RIFF file whose first chunk says how the picture is stored.

PictureHeader readWebp(const Bytes& b) {
    const std::optional<std::uint32_t> chunk = b.be32(12);
    if (chunk == 0x56503858u) {  // "VP8X": the canvas, each side less one in 24 bits
        const std::optional<std::uint32_t> w = b.read(24, 3, false), h = b.read(27, 3, false);
        if (w && h) return sized(PictureFormat::webp, std::uint64_t{*w} + 1, std::uint64_t{*h} + 1);
    } else if (chunk == 0x5650384Cu) {  // "VP8L": a signature byte, then 14 bits per side less one
        const std::optional<std::uint32_t> bits = b.le32(21);
        if (b.byte(20) == 0x2Fu && bits) return sized(PictureFormat::webp, (*bits & 0x3FFF) + 1, ((*bits >> 14) & 0x3FFF) + 1);
    } else if (chunk == 0x56503820u) {  // "VP8 ": a key frame's start code, then 14 bits per side
        const std::optional<std::uint32_t> w = b.le16(26), h = b.le16(28);
        if (b.byte(23) == 0x9Du && b.byte(24) == 0x01u && b.byte(25) == 0x2Au && w && h)
            return sized(PictureFormat::webp, *w & 0x3FFF, *h & 0x3FFF);
    }
    return damaged(PictureFormat::webp);
}

// ---- HEIF and AVIF: ISO base media boxes.

struct Box {
    std::uint32_t type = 0;
    std::uint64_t contents = 0;  // where the box's contents start
    std::uint64_t end = 0;       // just past the box
};

// The box at `at`, which must end by `limit`; nothing when it does not fit.
std::optional<Box> boxAt(const Bytes& b, std::uint64_t at, std::uint64_t limit) {
    const std::optional<std::uint32_t> size32 = b.be32(at), type = b.be32(at + 4);
    if (!size32 || !type) return std::nullopt;
    std::uint64_t size = *size32, header = 8;
    if (size == 1) {
        const std::optional<std::uint64_t> large = b.u64(at + 8, true);
        if (!large) return std::nullopt;
        size = *large, header = 16;
    } else if (size == 0) {
        size = limit - at;
    }
    if (size < header || size > limit - at) return std::nullopt;
    return Box{*type, at + header, at + size};
}

// The first child of the given type among the boxes from `from` to `limit`.
std::optional<Box> childBox(const Bytes& b, std::uint64_t from, std::uint64_t limit, std::uint32_t type) {
    for (std::uint64_t at = from; at < limit;) {
        const std::optional<Box> box = boxAt(b, at, limit);
        if (!box) return std::nullopt;
        if (box->type == type) return box;
        at = box->end;
    }
    return std::nullopt;
}

// The format the brands of a whole leading file-type box name: AVIF where an
// AVIF brand is among them, as AVIF files list HEIF's generic brands too.
PictureFormat isoFormat(const Bytes& b) {
    const std::optional<Box> ftyp = boxAt(b, 0, b.size());
    if (!ftyp || ftyp->type != fourCc("ftyp")) return PictureFormat::none;
    constexpr std::uint32_t heifBrands[] = {fourCc("heic"), fourCc("heix"), fourCc("heim"), fourCc("heis"),
                                            fourCc("hevc"), fourCc("hevx"), fourCc("mif1"), fourCc("msf1")};
    PictureFormat format = PictureFormat::none;
    for (std::uint64_t at = ftyp->contents; at + 4 <= ftyp->end; at += at == ftyp->contents ? 8 : 4) {
        const std::uint32_t brand = *b.be32(at);
        if (brand == fourCc("avif") || brand == fourCc("avis")) return PictureFormat::avif;
        if (std::find(std::begin(heifBrands), std::end(heifBrands), brand) != std::end(heifBrands)) format = PictureFormat::heif;
    }
    return format;
}

// meta (a full box) > iprp > ipco > ispe (a full box: width, height). The whole
// property container must be there, so that no later, larger property is missed.
PictureHeader readIso(const Bytes& b, PictureFormat format) {
    const std::optional<Box> meta = childBox(b, 0, b.size(), fourCc("meta"));
    const std::optional<Box> iprp = meta ? childBox(b, meta->contents + 4, meta->end, fourCc("iprp")) : std::nullopt;
    const std::optional<Box> ipco = iprp ? childBox(b, iprp->contents, iprp->end, fourCc("ipco")) : std::nullopt;
    if (!ipco) return damaged(format);
    std::uint64_t width = 0, height = 0;
    for (std::uint64_t at = ipco->contents; at < ipco->end;) {
        const std::optional<Box> box = boxAt(b, at, ipco->end);
        if (!box) return damaged(format);
        const std::optional<std::uint32_t> w = b.be32(box->contents + 4), h = b.be32(box->contents + 8);
        if (box->type == fourCc("ispe") && w && h && box->contents + 12 <= box->end &&
            std::uint64_t{*w} * *h > width * height)
            width = *w, height = *h;
        at = box->end;
    }
    return sized(format, width, height);
}

// ---- JPEG XL: a bit-packed size header at the start of the codestream.

class BitReader {
public:
    BitReader(const Bytes& b, std::uint64_t at) : b_(b), at_(at) {}
    // The next `count` bits, least significant first; nothing past the end.
    std::optional<std::uint64_t> bits(int count) {
        std::uint64_t value = 0;
        for (int i = 0; i < count; ++i, ++bit_) {
            const std::optional<std::uint32_t> byte = b_.byte(at_ + bit_ / 8);
            if (!byte) return std::nullopt;
            value |= std::uint64_t{(*byte >> (bit_ % 8)) & 1} << i;
        }
        return value;
    }
    // A side: a multiple of 8 in 5 bits when small, else 9, 13, 18 or 30 bits by a
    // 2-bit selector, each value one less than the side.
    std::optional<std::uint64_t> side(bool small) {
        if (small) {
            const std::optional<std::uint64_t> eighths = bits(5);
            return eighths ? std::optional<std::uint64_t>((*eighths + 1) * 8) : std::nullopt;
        }
        constexpr int widths[] = {9, 13, 18, 30};
        const std::optional<std::uint64_t> selector = bits(2);
        const std::optional<std::uint64_t> value = selector ? bits(widths[*selector]) : std::nullopt;
        return value ? std::optional<std::uint64_t>(*value + 1) : std::nullopt;
    }

private:
    const Bytes& b_;
    std::uint64_t at_;
    std::uint64_t bit_ = 0;
};

PictureHeader readJxlCodestream(const Bytes& b, std::uint64_t at) {
    if (b.byte(at) != 0xFFu || b.byte(at + 1) != 0x0Au) return damaged(PictureFormat::jxl);
    BitReader bits(b, at + 2);
    const std::optional<std::uint64_t> small = bits.bits(1);
    const std::optional<std::uint64_t> height = small ? bits.side(*small != 0) : std::nullopt;
    const std::optional<std::uint64_t> ratio = height ? bits.bits(3) : std::nullopt;
    if (!ratio) return damaged(PictureFormat::jxl);
    constexpr std::uint64_t ratios[7][2] = {{1, 1}, {12, 10}, {4, 3}, {3, 2}, {16, 9}, {5, 4}, {2, 1}};
    if (*ratio != 0) return sized(PictureFormat::jxl, *height * ratios[*ratio - 1][0] / ratios[*ratio - 1][1], *height);
    const std::optional<std::uint64_t> width = bits.side(*small != 0);
    if (!width) return damaged(PictureFormat::jxl);
    return sized(PictureFormat::jxl, *width, *height);
}

// The container's first codestream box: jxlc holds it whole, jxlp in parts,
// each after a 4-byte part number. Only the size header need be there, not the
// rest of the box.
PictureHeader readJxlContainer(const Bytes& b) {
    for (std::uint64_t at = 0; at < b.size();) {
        const std::optional<Box> box = boxAt(b, at, UINT64_MAX);
        if (!box) break;
        if (box->type == fourCc("jxlc")) return readJxlCodestream(Bytes(b, box->end), box->contents);
        if (box->type == fourCc("jxlp")) return readJxlCodestream(Bytes(b, box->end), box->contents + 4);
        at = box->end;
    }
    return damaged(PictureFormat::jxl);
}

PictureHeader readHeader(const Bytes& b) {
    if (b.startsWith("BM", 2)) return readBmp(b);
    if (b.startsWith("GIF87a", 6) || b.startsWith("GIF89a", 6)) return readGif(b);
    if (b.startsWith("\xFF\xD8", 2)) return readJpeg(b);
    if (b.startsWith("\x89PNG\r\n\x1A\n", 8)) return readPng(b);
    if (b.startsWith("II*\0", 4)) return readTiff(b, {false, false});
    if (b.startsWith("MM\0*", 4)) return readTiff(b, {true, false});
    if (b.startsWith("II+\0", 4)) return readTiff(b, {false, true});
    if (b.startsWith("MM\0+", 4)) return readTiff(b, {true, true});
    if (b.startsWith("RIFF", 4) && b.has(8, 4) && *b.be32(8) == fourCc("WEBP")) return readWebp(b);
    if (b.startsWith("\xFF\x0A", 2)) return readJxlCodestream(b, 0);
    if (b.startsWith("\0\0\0\x0CJXL \r\n\x87\n", 12)) return readJxlContainer(b);
    if (const PictureFormat iso = isoFormat(b); iso != PictureFormat::none) return readIso(b, iso);
    return {};
}

}  // namespace

PictureHeader readPictureHeader(const unsigned char* data, std::size_t size) {
    Source source(data, size);
    return readHeader(Bytes(source));
}

PictureHeader readPictureHeader(const ByteSource& bytes) {
    Source source(bytes);
    const PictureHeader header = readHeader(Bytes(source));
    return source.failed() && header.status != HeaderStatus::unknownFormat ? damaged(header.format) : header;
}

bool exceedsPixelCap(std::uint64_t width, std::uint64_t height) {
    // Either side alone past the cap would let the product wrap.
    return width > maxPicturePixels || height > maxPicturePixels || width * height > maxPicturePixels;
}

}  // namespace vellora
