// A picture file's bytes as the readers of its header and metadata see them: read
// where the reader asks, from memory or from an open file, so that a reader needs
// neither the whole file nor an OS header.
//
// Contract:
// - read copies `length` bytes from `offset` into `into` and answers true only when
//   all of them lie within size() and could be read; it never reads outside them.
// - MemoryBytes reads from bytes its caller owns and keeps alive.
// - fourCc is the number a four-character code (a box, chunk or brand name) reads
//   as in big-endian order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vellora {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    virtual bool read(std::uint64_t offset, std::size_t length, unsigned char* into) const = 0;
};

class MemoryBytes : public ByteSource {
public:
    MemoryBytes(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}
    std::uint64_t size() const override { return size_; }
    bool read(std::uint64_t offset, std::size_t length, unsigned char* into) const override {
        if (offset > size_ || length > size_ - offset) return false;
        if (length > 0) std::memcpy(into, data_ + offset, length);
        return true;
    }

private:
    const unsigned char* data_;
    std::size_t size_;
};

constexpr std::uint32_t fourCc(const char (&name)[5]) {
    return std::uint32_t(std::uint8_t(name[0])) << 24 | std::uint32_t(std::uint8_t(name[1])) << 16 |
           std::uint32_t(std::uint8_t(name[2])) << 8 | std::uint8_t(name[3]);
}

}  // namespace vellora
