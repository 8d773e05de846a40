// WebP through libwebp and its demux library: the first frame, decoded straight
// into its place on the canvas. The demuxer accepts only a whole file, so a
// truncated one fails before anything is allocated for its pixels.
#include <webp/decode.h>
#include <webp/demux.h>

#include <memory>

#include "platform/decoding/decode_formats.h"

namespace vellora::linux_platform::formats {
namespace {

struct DemuxDeleter {
    void operator()(WebPDemuxer* demux) const { WebPDemuxDelete(demux); }
};

class FirstFrame {
public:
    explicit FirstFrame(const WebPDemuxer* demux) : found_(WebPDemuxGetFrame(demux, 1, &frame_) != 0) {}
    ~FirstFrame() { WebPDemuxReleaseIterator(&frame_); }
    FirstFrame(const FirstFrame&) = delete;
    FirstFrame& operator=(const FirstFrame&) = delete;

    bool found() const { return found_; }
    const WebPIterator& operator*() const { return frame_; }
    const WebPIterator* operator->() const { return &frame_; }

private:
    WebPIterator frame_{};
    bool found_;
};

void keepProfile(const WebPDemuxer* demux, DecodedImage& image) {
    if (!(WebPDemuxGetI(demux, WEBP_FF_FORMAT_FLAGS) & ICCP_FLAG)) return;
    WebPChunkIterator chunk{};
    if (WebPDemuxGetChunk(demux, "ICCP", 1, &chunk))
        image.iccProfile.assign(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
    WebPDemuxReleaseChunkIterator(&chunk);
}

bool decodeFrameInto(const WebPIterator& frame, std::uint64_t canvasWidth, DecodedImage& image) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) return false;
    config.options.use_threads = 1;
    const std::size_t stride = canvasWidth * 4;
    const std::size_t first = static_cast<std::size_t>(frame.y_offset) * canvasWidth + static_cast<std::size_t>(frame.x_offset);
    config.output.colorspace = MODE_BGRA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = reinterpret_cast<std::uint8_t*>(image.pixels.data() + first);
    config.output.u.RGBA.stride = static_cast<int>(stride);
    config.output.u.RGBA.size = stride * static_cast<std::size_t>(frame.height - 1) + static_cast<std::size_t>(frame.width) * 4;
    const bool decoded = WebPDecode(frame.fragment.bytes, frame.fragment.size, &config) == VP8_STATUS_OK;
    WebPFreeDecBuffer(&config.output);
    if (!decoded) return false;
    for (int y = 0; y < frame.height; ++y)
        finishPixels(image.pixels.data() + first + static_cast<std::size_t>(y) * canvasWidth,
                     static_cast<std::size_t>(frame.width), ByteOrder::bgra, frame.has_alpha != 0);
    return true;
}

}  // namespace

bool decodeWebp(const unsigned char* data, std::size_t size, DecodedImage& image) {
    const WebPData whole{data, size};
    const std::unique_ptr<WebPDemuxer, DemuxDeleter> demux(WebPDemux(&whole));
    if (!demux) return false;
    const std::uint64_t width = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH);
    const std::uint64_t height = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT);
    if (!fitsPixelCap(width, height)) return false;
    const FirstFrame frame(demux.get());
    if (!frame.found() || frame->width <= 0 || frame->height <= 0 || frame->x_offset < 0 || frame->y_offset < 0 ||
        std::uint64_t(frame->x_offset) + std::uint64_t(frame->width) > width ||
        std::uint64_t(frame->y_offset) + std::uint64_t(frame->height) > height)
        return false;
    const bool coversCanvas = std::uint64_t(frame->width) == width && std::uint64_t(frame->height) == height;
    sizeImage(image, width, height, !coversCanvas);
    if (!decodeFrameInto(*frame, width, image)) return false;
    keepProfile(demux.get(), image);
    return true;
}

}  // namespace vellora::linux_platform::formats
