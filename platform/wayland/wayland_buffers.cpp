// Shared-memory buffers: XRGB8888 words, which are the canvas's 0xRRGGBB words
// as they are, in memory the compositor maps.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

#include "platform/wayland/wayland_internal.h"

namespace vellora::linux_platform::wayland {
namespace {

// Two buffers suffice while the compositor releases one before the next frame;
// a third covers a compositor that holds on to the last one a little longer.
constexpr std::size_t maxBuffers = 3;

std::unique_ptr<ShmBuffer> makeBuffer(std::int32_t width, std::int32_t height) {
    if (width <= 0 || height <= 0 || width > maxBufferSide || height > maxBufferSide) return nullptr;
    const std::size_t stride = static_cast<std::size_t>(width) * 4;
    const std::size_t bytes = stride * static_cast<std::size_t>(height);
    const int fd = memfd_create("vellora-buffer", MFD_CLOEXEC);
    if (fd < 0) return nullptr;
    if (ftruncate(fd, static_cast<off_t>(bytes)) != 0) {
        close(fd);
        return nullptr;
    }
    void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (memory == MAP_FAILED) {
        close(fd);
        return nullptr;
    }
    wl_shm_pool* pool = wl_shm_create_pool(globals().shm, fd, static_cast<std::int32_t>(bytes));
    auto buffer = std::make_unique<ShmBuffer>();
    buffer->buffer = wl_shm_pool_create_buffer(pool, 0, width, height, static_cast<std::int32_t>(stride),
                                               WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    buffer->pixels = static_cast<std::uint32_t*>(memory);
    buffer->bytes = bytes;
    // New memory is zero, which is black, as the canvas's copy starts.
    return buffer;
}

}  // namespace

BufferPool::BufferPool(std::int32_t width, std::int32_t height, void (*onRelease)(void*), void* owner)
    : width_(width), height_(height), onRelease_(onRelease), owner_(owner) {}

BufferPool::~BufferPool() {
    for (auto& b : buffers_) {
        wl_buffer_destroy(b->buffer);
        munmap(b->pixels, b->bytes);
    }
}

void BufferPool::released(void* data, wl_buffer* buffer) {
    auto* pool = static_cast<BufferPool*>(data);
    for (auto& b : pool->buffers_)
        if (b->buffer == buffer) b->busy = false;
    pool->onRelease_(pool->owner_);
}

ShmBuffer* BufferPool::freeBuffer() {
    for (auto& b : buffers_)
        if (!b->busy) return b.get();
    if (buffers_.size() >= maxBuffers) return nullptr;
    std::unique_ptr<ShmBuffer> made = makeBuffer(width_, height_);
    if (!made) return nullptr;
    static const wl_buffer_listener listener = {released};
    wl_buffer_add_listener(made->buffer, &listener, this);
    // A new buffer is black everywhere; the copy may not be.
    made->stale = {0, 0, width_, height_};
    buffers_.push_back(std::move(made));
    return buffers_.back().get();
}

void BufferPool::markChanged(PixelRect rect) {
    for (auto& b : buffers_) {
        if (b->stale.empty()) {
            b->stale = rect;
        } else {
            b->stale = {std::min(b->stale.left, rect.left), std::min(b->stale.top, rect.top),
                        std::max(b->stale.right, rect.right), std::max(b->stale.bottom, rect.bottom)};
        }
    }
}

}  // namespace vellora::linux_platform::wayland
