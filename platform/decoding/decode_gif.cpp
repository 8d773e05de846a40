// GIF through giflib: the first frame, placed where it says on the logical screen,
// which is black wherever the frame leaves it uncovered or transparent. The rest
// of the file is walked to its trailer without decoding, so that a truncated
// file fails as in the other formats.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/decoding/decode_formats.h"

namespace vellora::linux_platform::formats {
namespace {

int readFromMemory(GifFileType* gif, GifByteType* out, int wanted) {
    if (wanted < 0) return 0;
    return static_cast<int>(static_cast<MemorySource*>(gif->UserData)->read(out, static_cast<std::size_t>(wanted)));
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using GifFile = std::unique_ptr<GifFileType, GifCloser>;

// Reads an extension, keeping the transparent index of a graphic control block.
bool readExtension(GifFileType* gif, int& transparentIndex) {
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
    if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr) {
        GraphicsControlBlock control;
        if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK) transparentIndex = control.TransparentColor;
    }
    while (block != nullptr) {
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
    }
    return true;
}

bool skipImageData(GifFileType* gif) {
    int codeSize = 0;
    GifByteType* block = nullptr;
    if (DGifGetCode(gif, &codeSize, &block) == GIF_ERROR) return false;
    while (block != nullptr) {
        if (DGifGetCodeNext(gif, &block) == GIF_ERROR) return false;
    }
    return true;
}

// Frame rows in the order the file stores them.
std::vector<int> storedRowOrder(int height, bool interlaced) {
    std::vector<int> order;
    order.reserve(static_cast<std::size_t>(height));
    if (!interlaced) {
        for (int y = 0; y < height; ++y) order.push_back(y);
        return order;
    }
    const int starts[] = {0, 4, 2, 1}, steps[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int y = starts[pass]; y < height; y += steps[pass]) order.push_back(y);
    return order;
}

const ColorMapObject* colours(const GifFileType* gif) {
    return gif->Image.ColorMap != nullptr ? gif->Image.ColorMap : gif->SColorMap;
}

// Checked before the screen is allocated: a few bytes can describe a large screen,
// and a frame that cannot be drawn must not cost its allocation.
bool frameCanBeDrawn(const GifFileType* gif) {
    const GifImageDesc& frame = gif->Image;
    return colours(gif) != nullptr && frame.Width > 0 && frame.Height > 0 && frame.Left >= 0 && frame.Top >= 0 &&
           fitsPixelCap(static_cast<std::uint64_t>(frame.Width), static_cast<std::uint64_t>(frame.Height));
}

bool drawFirstFrame(GifFileType* gif, int transparentIndex, DecodedImage& screen) {
    const GifImageDesc& frame = gif->Image;
    const ColorMapObject* map = colours(gif);
    std::vector<GifPixelType> row(static_cast<std::size_t>(frame.Width));
    for (int y : storedRowOrder(frame.Height, frame.Interlace)) {
        if (decodingStopped() || DGifGetLine(gif, row.data(), frame.Width) == GIF_ERROR) return false;
        const std::int64_t screenY = std::int64_t{frame.Top} + y;
        if (screenY >= screen.height) continue;
        std::uint32_t* out = screen.pixels.data() + static_cast<std::size_t>(screenY) * static_cast<std::size_t>(screen.width);
        for (int x = 0; x < frame.Width; ++x) {
            const std::int64_t screenX = std::int64_t{frame.Left} + x;
            const int index = row[static_cast<std::size_t>(x)];
            if (screenX >= screen.width || index == transparentIndex || index >= map->ColorCount) continue;
            const GifColorType& color = map->Colors[index];
            out[screenX] = rgb(color.Red, color.Green, color.Blue);
        }
    }
    return true;
}

}  // namespace

bool decodeGif(const unsigned char* data, std::size_t size, DecodedImage& screen) {
    MemorySource source{data, size, 0};
    int error = 0;
    GifFile gif(DGifOpen(&source, readFromMemory, &error));
    if (!gif || !fitsPixelCap(static_cast<std::uint64_t>(gif->SWidth), static_cast<std::uint64_t>(gif->SHeight))) {
        return false;
    }
    bool drawn = false;
    int transparentIndex = NO_TRANSPARENT_COLOR;
    for (;;) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &record) == GIF_ERROR) return false;
        switch (record) {
        case EXTENSION_RECORD_TYPE:
            if (!readExtension(gif.get(), transparentIndex)) return false;
            break;
        case IMAGE_DESC_RECORD_TYPE:
            if (DGifGetImageDesc(gif.get()) == GIF_ERROR) return false;
            if (drawn) {
                if (!skipImageData(gif.get())) return false;
                break;
            }
            if (!frameCanBeDrawn(gif.get())) return false;
            sizeImage(screen, static_cast<std::uint64_t>(gif->SWidth), static_cast<std::uint64_t>(gif->SHeight), true);
            if (!drawFirstFrame(gif.get(), transparentIndex, screen)) return false;
            drawn = true;
            break;
        case TERMINATE_RECORD_TYPE: return drawn;
        default: return false;
        }
    }
}

}  // namespace vellora::linux_platform::formats
