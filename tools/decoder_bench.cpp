// Times decoding through the decoder process against decoding in this process,
// for the decoding benchmark (tools/bench/decode.sh).
//
//   vellora-decoder-bench FILE SECONDS DECODER
//
// prints "inprocess MS", "process MS" and "startup MS": the mean time of one
// picture as the show loads it (open, read or hand over, decode into reused
// storage) in each way, over at least SECONDS each after one untimed picture,
// and the mean time from starting the decoder program DECODER to its word that
// it is locked down.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/decoding/decode.h"
#include "platform/decoding/decoder_process.h"

using namespace vellora::linux_platform;

namespace {

using Clock = std::chrono::steady_clock;

template <typename Step>
double meanMilliseconds(Step step, double seconds) {
    if (!step()) return -1;
    const Clock::time_point start = Clock::now();
    int steps = 0;
    double elapsed = 0;
    do {
        if (!step()) return -1;
        ++steps;
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    } while (elapsed < seconds);
    return elapsed / steps * 1000;
}

struct File {
    explicit File(const char* path) : fd(open(path, O_RDONLY | O_CLOEXEC)) {
        struct stat info {};
        if (fd >= 0 && fstat(fd, &info) == 0) bytes = static_cast<std::uint64_t>(info.st_size);
    }
    ~File() {
        if (fd >= 0) close(fd);
    }
    int fd;
    std::uint64_t bytes = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: vellora-decoder-bench FILE SECONDS DECODER\n");
        return 2;
    }
    const char* path = argv[1];
    const double seconds = std::atof(argv[2]);
    DecoderProcess decoder(argv[3]);

    DecodedImage image;
    const double here = meanMilliseconds(
        [&] {
            const File file(path);
            std::vector<unsigned char> bytes(file.bytes);
            return read(file.fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) &&
                   decodePictureInto(bytes.data(), bytes.size(), image);
        },
        seconds);

    if (decoder.start(-1) != DecoderProcess::Start::running) {
        std::fprintf(stderr, "%s does not start locked down\n", argv[3]);
        return 1;
    }
    std::shared_ptr<SharedPixels> buffer;
    const double there = meanMilliseconds(
        [&] {
            const File file(path);
            return decoder.decode(file.fd, file.bytes, false, budgetForPictureFile(file.fd, file.bytes), buffer, -1).has_value();
        },
        seconds);

    const double startup = meanMilliseconds(
        [&] {
            decoder.end();
            return decoder.start(-1) == DecoderProcess::Start::running;
        },
        seconds / 2);
    if (here < 0 || there < 0 || startup < 0) {
        std::fprintf(stderr, "%s: cannot decode\n", path);
        return 1;
    }
    std::printf("inprocess %.3f\nprocess %.3f\nstartup %.3f\n", here, there, startup);
    return 0;
}
