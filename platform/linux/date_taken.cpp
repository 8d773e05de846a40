#include "platform/linux/date_taken.h"

#include <brotli/decode.h>
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <new>

namespace vellora::linux_platform {
namespace {

// The open file, read at the offsets asked for. The reader asks for a few bytes
// at a time, mostly close together, so each read fills a block kept for the next.
class FileBytes : public ByteSource {
public:
    FileBytes(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    std::uint64_t size() const override { return size_; }
    bool read(std::uint64_t offset, std::size_t length, unsigned char* into) const override {
        if (offset > size_ || length > size_ - offset) return false;
        if (length > sizeof block_) return readFully(offset, length, into);
        if (offset < blockStart_ || offset + length > blockStart_ + blockLength_) {
            blockStart_ = offset;
            blockLength_ = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof block_, size_ - offset));
            if (!readFully(offset, blockLength_, block_)) {
                blockLength_ = 0;
                return false;
            }
        }
        std::copy_n(block_ + (offset - blockStart_), length, into);
        return true;
    }

private:
    bool readFully(std::uint64_t offset, std::size_t length, unsigned char* into) const {
        for (std::size_t have = 0; have < length;) {
            const ssize_t got = pread(fd_, into + have, length - have, static_cast<off_t>(offset + have));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            have += static_cast<std::size_t>(got);
        }
        return true;
    }

    int fd_;
    std::uint64_t size_;
    mutable unsigned char block_[4096];
    mutable std::uint64_t blockStart_ = 0;
    mutable std::size_t blockLength_ = 0;
};

std::optional<PhotoTime> localTime(std::time_t seconds) {
    std::tm local{};
    if (!localtime_r(&seconds, &local)) return std::nullopt;
    return PhotoTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

}  // namespace

std::optional<PhotoTime> dateTakenOfFile(int fileDescriptor) {
    struct stat info {};
    if (fstat(fileDescriptor, &info) != 0 || info.st_size < 0) return std::nullopt;
    try {
        const FileBytes file(fileDescriptor, static_cast<std::uint64_t>(info.st_size));
        if (std::optional<PhotoTime> taken = photoTimeTaken(file, inflateBrotli)) return taken;
    } catch (const std::bad_alloc&) {
        // A compressed box that finds no memory leaves the file's own date.
    }
    return localTime(info.st_mtime);
}

std::optional<std::vector<unsigned char>> inflateBrotli(const unsigned char* data, std::size_t size, std::size_t limit) {
    BrotliDecoderState* state = BrotliDecoderCreateInstance(nullptr, nullptr, nullptr);
    if (!state) return std::nullopt;
    std::vector<unsigned char> out(limit);
    std::size_t availableIn = size, availableOut = limit;
    const std::uint8_t* next = data;
    std::uint8_t* to = out.data();
    const BrotliDecoderResult result = BrotliDecoderDecompressStream(state, &availableIn, &next, &availableOut, &to, nullptr);
    BrotliDecoderDestroyInstance(state);
    if (result != BROTLI_DECODER_RESULT_SUCCESS) return std::nullopt;
    out.resize(limit - availableOut);
    return out;
}

}  // namespace vellora::linux_platform
