// The show's side of its decoder process: a helper program beside the show's own
// (vellora-decoder), locked down before it reads anything, that decodes one
// picture file after another for it (see decoder_wire.h and decoder_sandbox.h).
//
// Contract:
// - start() runs the helper and waits for it to say it is locked down. Its
//   answer tells a helper that runs from one that cannot lock itself down (the
//   kernel has no seccomp) or cannot be run at all; the caller decides what then.
// - decode() hands an open regular file over, raises the helper's CPU limit by
//   the budget's CPU seconds and waits at most its wall time. The helper's death,
//   a filter's kill, a limit, the time limit, a stop request (its wake descriptor
//   becoming readable, which `whileWaiting`, when given, may cause: it is called
//   about every 50 ms of the wait) and anything the helper says that does not
//   make sense all give nothing, and end the helper: the next start() makes
//   another. A refused picture leaves it running.
// - Pixels come back in a SharedPixels buffer that the show makes and seals
//   against resizing; decode() may replace the one it is given by a larger one.
//   What the buffer's pixels are is the helper's word: any value is a colour.
// - No helper outlives the show: the object's end, like the show's, ends it
//   (the helper also dies with the show's thread that started it), and every
//   helper that ends is reaped, except one killed as the show stops, which the
//   system reaps once the show is gone. No descriptor is left behind.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/decoding/decoder_sandbox.h"

namespace vellora::linux_platform {

// A memfd of pixels, mapped read-only by the show.
class SharedPixels {
public:
    // Nothing when the system cannot give the memory.
    static std::unique_ptr<SharedPixels> make(std::uint64_t bytes);
    ~SharedPixels();
    SharedPixels(const SharedPixels&) = delete;
    SharedPixels& operator=(const SharedPixels&) = delete;
    int descriptor() const { return fd_; }
    std::uint64_t bytes() const { return bytes_; }
    // Tells buffers apart for the decoder, which maps each once.
    std::uint32_t id() const { return id_; }
    const std::uint32_t* pixels() const { return static_cast<const std::uint32_t*>(map_); }

private:
    SharedPixels(int fd, void* map, std::uint64_t bytes);
    int fd_;
    void* map_;
    std::uint64_t bytes_;
    std::uint32_t id_;
};

// The budget for the picture in the open file, by the size its header claims in
// the file's first 256 KB; the offset the helper reads from does not move.
DecodeBudget budgetForPictureFile(int fileDescriptor, std::uint64_t fileBytes);

class DecoderProcess {
public:
    enum class Start { running, noSeccomp, unavailable };
    struct Size {
        std::int32_t width;
        std::int32_t height;
    };

    explicit DecoderProcess(std::string program) : program_(std::move(program)) {}
    ~DecoderProcess() { end(); }
    DecoderProcess(const DecoderProcess&) = delete;
    DecoderProcess& operator=(const DecoderProcess&) = delete;

    // Starts the helper unless one runs.
    Start start(int stopDescriptor);
    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    std::optional<Size> decode(int fileDescriptor, std::uint64_t fileBytes, bool upright, const DecodeBudget& budget,
                               std::shared_ptr<SharedPixels>& buffer, int stopDescriptor,
                               void (*whileWaiting)() = nullptr);
    // Kills and reaps the helper, if one runs. A stopping show only kills it; the
    // next end() reaps it if it is gone by then, else the system does once the show is.
    void end(bool stopping = false);

private:
    void raiseCpuLimit(std::uint64_t seconds) const;

    std::string program_;
    pid_t pid_ = -1;
    pid_t killed_ = -1;
    int socket_ = -1;
};

}  // namespace vellora::linux_platform
