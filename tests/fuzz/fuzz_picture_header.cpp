// The picture-header reader on any bytes.
#include <cstdint>
#include <cstring>

#include "platform/picture_header.h"
#include "tests/fuzz/fuzz_support.h"

using namespace vellora;

namespace {

// The same bytes as a file the reader fetches piece by piece.
class FetchedFile : public ByteSource {
public:
    FetchedFile(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint64_t size() const override { return size_; }
    bool read(std::uint64_t at, std::size_t count, unsigned char* out) const override {
        fuzz::require(at <= size_ && count <= size_ - at, "a fetch stays inside the file");
        std::memcpy(out, data_ + at, count);
        return true;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const PictureHeader whole = readPictureHeader(data, size);
    if (whole.status == HeaderStatus::unknownFormat)
        fuzz::require(whole.format == PictureFormat::none, "an unknown file has no format");
    else
        fuzz::require(whole.format != PictureFormat::none, "a known signature names its format");
    if (whole.status == HeaderStatus::sized)
        fuzz::require(whole.width > 0 && whole.height > 0, "a sized header has no empty side");
    else
        fuzz::require(whole.width == 0 && whole.height == 0, "only a sized header reports a size");

    // A size depends only on the header's bytes: a prefix that already holds it
    // gives the same answer as the whole file.
    const PictureHeader front = readPictureHeader(data, size / 2);
    if (front.status == HeaderStatus::sized)
        fuzz::require(front.format == whole.format && front.width == whole.width && front.height == whole.height,
                      "more bytes after the header change nothing");
    // Far below the reader's bound, a file fetched in pieces gives what its bytes in memory give.
    FetchedFile file(data, size);
    const PictureHeader fetched = readPictureHeader(file);
    fuzz::require(fetched.status == whole.status && fetched.format == whole.format && fetched.width == whole.width &&
                      fetched.height == whole.height,
                  "a file fetched in pieces reads as its bytes in memory");
    exceedsPixelCap(whole.width, whole.height);
    return 0;
}
