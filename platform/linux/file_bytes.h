// An open file as the header and metadata readers read it (platform/byte_source.h):
// at the offsets they ask for, never moving the descriptor's own offset, so that
// whoever reads the file next (the decoder process) still starts at its beginning.
//
// Contract: the caller owns the descriptor and keeps it open; `size` is the file's
// size as its status gave it. Small reads are served from one block of 4 KB kept
// for the next, as readers ask for a few bytes at a time, mostly close together.
#pragma once

#include <errno.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

#include "platform/byte_source.h"

namespace vellora::linux_platform {

class FileBytes : public ByteSource {
public:
    FileBytes(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    std::uint64_t size() const override { return size_; }
    bool read(std::uint64_t offset, std::size_t length, unsigned char* into) const override {
        if (offset > size_ || length > size_ - offset) return false;
        if (length >= sizeof block_) return readFully(offset, length, into);
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

}  // namespace vellora::linux_platform
