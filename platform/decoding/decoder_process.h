// The show's side of its decoder process: a helper program beside the show's own
// (vellora-decoder), locked down before it reads anything, that decodes one
// picture file after another for it (see decoder_wire.h and decoder_sandbox.h).
//
// Contract:
// - start() runs the helper and waits for it to say it is locked down. Its
//   answer tells a helper that runs from one that cannot lock itself down (the
//   kernel has no seccomp) or cannot be run at all; a helper that does not answer
//   in time is ended and counts as one that cannot be run this time. The caller
//   decides what then.
// - The helper reads and writes nothing of the show's but its socket and the
//   files handed to it: its standard streams are /dev/null.
// - decode() hands an open regular file over with a request number of its own,
//   limits the helper's CPU time and waits at most the budget's wall time,
//   stretched up to four times on a machine whose load average says each
//   processor is shared by that many runnable tasks. The soft CPU limit covers
//   the budget's CPU seconds on top of what the helper has used, and at most
//   cpuHeadroomSeconds more; the hard limit is one second above it, so a helper
//   that keeps SIGXCPU from ending it is killed by the kernel a second later.
//   The helper's death, a filter's kill, a limit, the time limit, a stop
//   request (its wake descriptor becoming readable, which `whileWaiting`, when
//   given, may cause: it is called about every 50 ms of the wait), an answer for
//   another request and anything else the helper says that does not make sense
//   all give nothing, and end the helper: the next start() makes another. A
//   refused picture leaves it running.
// - The helper is watched between pictures too: after every answer and while it
//   decodes, more than maxHelperThreads threads ends it; before the next picture,
//   a helper that spoke out of turn, used CPU time while it had nothing to do,
//   or whose hard CPU limit leaves too little for the picture's budget is replaced
//   by a new one first, which costs that picture nothing.
// - Pixels come back in a SharedPixels buffer that the show makes and seals
//   against resizing; decode() may replace the one it is given by a larger one.
//   What the buffer's pixels are is the helper's word: any value is a colour.
// - No helper outlives the show: the object's end, like the show's, ends it
//   (the helper also dies with the show's thread that started it), and every
//   helper that ends is reaped, except one killed as the show stops, which the
//   system reaps once the show is gone. No descriptor is left behind.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/decoding/decoder_sandbox.h"
#include "platform/decoding/decoder_wire.h"

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

// The budget for the picture in the open file, by the size its header claims
// wherever in the file the format keeps it (the header reader reads at most
// maxHeaderBytesRead of it); the offset the helper reads from does not move.
DecodeBudget budgetForPictureFile(int fileDescriptor, std::uint64_t fileBytes);

// The helper's own thread, the two that a decoder (libjxl, libheif, libavif,
// libwebp) or the colour conversion adds at most, and room to spare.
inline constexpr int maxHelperThreads = 8;
// CPU seconds the soft limit may give beyond a picture's budget, so that one
// helper serves a run of pictures before its hard limit makes it be replaced.
inline constexpr std::uint64_t cpuHeadroomSeconds = 5;

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
    enum class Wait { message, gone, timedOut, stopped };
    Wait waitFor(std::chrono::steady_clock::time_point deadline, int stopDescriptor, void (*whileWaiting)()) const;
    bool receive(std::chrono::steady_clock::time_point deadline, int stopDescriptor, wire::Message& message,
                 void (*whileWaiting)() = nullptr) const;
    bool answersFor(const wire::Message& answer) const { return answer.request == request_; }
    bool fitForAnotherPicture(const DecodeBudget& budget) const;
    bool limitCpu(const DecodeBudget& budget) const;
    std::optional<std::uint64_t> cpuNanoseconds() const;
    std::optional<Size> exchange(int fileDescriptor, std::uint64_t fileBytes, bool upright, const DecodeBudget& budget,
                                 std::shared_ptr<SharedPixels>& buffer, int stopDescriptor, void (*whileWaiting)());

    std::string program_;
    pid_t pid_ = -1;
    pid_t killed_ = -1;
    int socket_ = -1;
    std::uint32_t request_ = 0;
    // Whether the running helper was asked for no picture yet, and its CPU time after its last answer.
    bool fresh_ = true;
    std::uint64_t cpuAfterAnswer_ = 0;
};

}  // namespace vellora::linux_platform
