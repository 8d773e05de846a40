// The locked-down side of the decoder process (see decoder_wire.h for what it
// exchanges with the show).
//
// Contract:
// - lockDown runs before the process reads any byte of a picture, in this order:
//   no new privileges; resource limits (the address space the pixel cap needs
//   and no more, CPU seconds for the first picture, no core dumps, no file
//   growth, a handful of descriptors); then a seccomp filter that allows what
//   decoding from memory needs, with threads. What a library may ask on the way
//   without harm (opening or examining a file, reading a link, what the system
//   says about itself) is refused with an error (EACCES for files, ENOSYS for
//   the rest), so the library carries on without it. What only an attacker needs
//   kills the process: running a program, starting a process, signalling or
//   tracing one, sockets and the network, executable memory, writing to any
//   descriptor but the socket, changing SIGXCPU's handling or a resource limit,
//   and the kernel interfaces that reach past the filter (io_uring, bpf...).
//   Only the socket wire::decoderSocket can be read or written as a socket.
// - The CPU limit's hard value is left to the show, which sets both values
//   before each picture (decoder_process.h).
// - serveShow answers the show's requests on that socket until the show closes
//   it, each answer with the number of the request it answers. It never throws;
//   a picture that cannot be had in memory is failed.
// - `beforeDecoding`, when given, sees each file's bytes first (test builds make
//   the decoder misbehave on marker files with it).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/decoding/decode.h"

namespace vellora::linux_platform {

// What the show allows the helper for one picture: the CPU seconds it adds to its
// limit, and how long it waits. Both grow with the pixels the file's header claims,
// which the cap bounds: a 48-megapixel HEIC takes 6 s and 6.5 CPU seconds on a quiet
// 2-core machine, several times that under load (the show's wait stretches with
// the load, decoder_process.h). A file that claims no size gets what a
// 12-megapixel picture of any format needs on a slow machine.
struct DecodeBudget {
    std::uint64_t cpuSeconds = 10;
    std::uint64_t wallMs = 5000;
};
DecodeBudget decodeBudgetFor(std::uint64_t claimedPixels);

// The file's bytes, the decoded image, an image-sized turn and the pixel buffer,
// with room for the libraries, their threads and their heaps.
inline constexpr std::uint64_t decoderAddressSpace =
    maxPictureFileBytes + 3 * maxDecodedPixels * sizeof(std::uint32_t) + 256ull * 1024 * 1024;

enum class Lockdown { done, noSeccomp, failed };
Lockdown lockDown();

using DecodeHook = void (*)(const unsigned char* data, std::size_t size);
int serveShow(DecodeHook beforeDecoding);

// The decoder program: `vellora-decoder --serve SHOW_PID`, with its socket as
// descriptor wire::decoderSocket. Locks down, says hello, serves; the exit code.
int runDecoder(int argc, char** argv, DecodeHook beforeDecoding);

}  // namespace vellora::linux_platform
