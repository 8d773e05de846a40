#include "platform/decoding/decoder_process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/sysinfo.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/decoding/decode.h"
#include "platform/decoding/decoder_sandbox.h"
#include "platform/decoding/decoder_wire.h"
#include "platform/linux/file_bytes.h"
#include "platform/picture_header.h"

namespace vellora::linux_platform {
namespace {

using Clock = std::chrono::steady_clock;

class SpawnSetup {
public:
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
};

// The helper gets the socket as descriptor 3, /dev/null as its standard
// streams (nothing of the show's terminal to read or write), none of the show's
// other descriptors, the default signal handling (SIGXCPU included, whatever the
// show inherited), and an empty environment.
pid_t spawnHelper(const std::string& program, int socket) {
    SpawnSetup setup;
    posix_spawn_file_actions_adddup2(&setup.actions, socket, wire::decoderSocket);
    posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&setup.actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&setup.actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, wire::decoderSocket + 1);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int signal : {SIGTERM, SIGINT, SIGPIPE, SIGXCPU}) sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&setup.attributes, &none);
    posix_spawnattr_setsigdefault(&setup.attributes, &defaults);
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const std::string parent = std::to_string(getpid());
    char* argv[] = {const_cast<char*>("vellora-decoder"), const_cast<char*>("--serve"), const_cast<char*>(parent.c_str()),
                    nullptr};
    char* environment[] = {nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &setup.actions, &setup.attributes, argv, environment) != 0) return -1;
    return pid;
}

// The helper's thread count as the kernel tells it; 0 where it cannot be read.
int threadCount(pid_t pid) {
    const std::string path = "/proc/" + std::to_string(pid) + "/status";
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    char text[4096];
    const ssize_t got = read(fd, text, sizeof text - 1);
    close(fd);
    if (got <= 0) return 0;
    text[got] = '\0';
    const char* line = std::strstr(text, "\nThreads:");
    return line ? std::atoi(line + std::strlen("\nThreads:")) : 0;
}

bool withinThreadCap(pid_t pid) { return threadCount(pid) <= maxHelperThreads; }

// Whether the socket has something to read (or was hung up) already.
bool somethingWaiting(int socket) {
    pollfd watched{socket, POLLIN, 0};
    return poll(&watched, 1, 0) != 0;
}

// How much longer than on a machine of its own a picture may take: the runnable
// tasks per processor by the kernel's one-minute load average, at least 1 and at
// most 4. A loaded machine (a build beside the show, other shows) slows a large
// photo several times over; a decoder that hangs is still ended.
double loadStretch() {
    struct sysinfo info {};
    const long processors = sysconf(_SC_NPROCESSORS_ONLN);
    if (sysinfo(&info) != 0 || processors <= 0) return 1;
    const double load = static_cast<double>(info.loads[0]) / (1 << SI_LOAD_SHIFT);
    return std::clamp(load / static_cast<double>(processors), 1.0, 4.0);
}

// CPU time a helper may use while it has nothing to do: sending its answer and
// going back to wait for the next request.
constexpr std::uint64_t idleCpuNanoseconds = 250'000'000;

constexpr std::uint64_t mostPixelBytes = maxDecodedPixels * sizeof(std::uint32_t);

}  // namespace

std::unique_ptr<SharedPixels> SharedPixels::make(std::uint64_t bytes) {
    if (bytes == 0 || bytes > mostPixelBytes) return nullptr;
    std::unique_ptr<SharedPixels> pixels(new SharedPixels(-1, nullptr, bytes));
    pixels->fd_ = memfd_create("vellora-pixels", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (pixels->fd_ < 0 || ftruncate(pixels->fd_, static_cast<off_t>(bytes)) != 0 ||
        fcntl(pixels->fd_, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) != 0)
        return nullptr;
    void* map = mmap(nullptr, bytes, PROT_READ, MAP_SHARED, pixels->fd_, 0);
    if (map == MAP_FAILED) return nullptr;
    pixels->map_ = map;
    return pixels;
}

SharedPixels::SharedPixels(int fd, void* map, std::uint64_t bytes) : fd_(fd), map_(map), bytes_(bytes) {
    static std::uint32_t lastId = 0;
    id_ = ++lastId;
}

SharedPixels::~SharedPixels() {
    if (map_) munmap(map_, bytes_);
    if (fd_ >= 0) close(fd_);
}

DecoderProcess::Start DecoderProcess::start(int stopDescriptor) {
    if (running()) return Start::running;
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) return Start::unavailable;
    // Moving the helper's end onto descriptor 3 must not leave it close-on-exec.
    if (ends[1] == wire::decoderSocket) {
        const int moved = fcntl(ends[1], F_DUPFD_CLOEXEC, wire::decoderSocket + 1);
        close(ends[1]);
        ends[1] = moved;
    }
    pid_ = ends[1] >= 0 ? spawnHelper(program_, ends[1]) : -1;
    if (ends[1] >= 0) close(ends[1]);
    socket_ = ends[0];
    fresh_ = true;
    cpuAfterAnswer_ = 0;
    if (pid_ <= 0) {
        end();
        return Start::unavailable;
    }
    wire::Message hello;
    const auto deadline = Clock::now() + std::chrono::milliseconds(DecodeBudget{}.wallMs);
    if (!receive(deadline, stopDescriptor, hello) || hello.kind != wire::Kind::hello) {
        end();
        return Start::unavailable;
    }
    if (hello.status != static_cast<std::uint32_t>(wire::HelloStatus::lockedDown)) {
        end();
        return hello.status == static_cast<std::uint32_t>(wire::HelloStatus::noSeccomp) ? Start::noSeccomp
                                                                                         : Start::unavailable;
    }
    if (const std::optional<std::uint64_t> used = cpuNanoseconds()) cpuAfterAnswer_ = *used;
    return Start::running;
}

// Waits for the socket to have something, the stop descriptor to wake, or the
// deadline, looking at the helper's threads every 50 ms; `whileWaiting`, when
// given, is called each 50 ms of quiet.
DecoderProcess::Wait DecoderProcess::waitFor(Clock::time_point deadline, int stopDescriptor,
                                             void (*whileWaiting)()) const {
    constexpr std::int64_t slice = 50;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return Wait::timedOut;
        pollfd watched[2] = {{socket_, POLLIN, 0}, {stopDescriptor, POLLIN, 0}};
        const int ready = poll(watched, stopDescriptor >= 0 ? 2 : 1, static_cast<int>(std::min(left, slice)));
        if (ready < 0 && errno != EINTR) return Wait::gone;
        if (ready == 0) {
            if (!withinThreadCap(pid_)) return Wait::gone;
            if (whileWaiting) whileWaiting();
        }
        if (ready <= 0) continue;
        if (stopDescriptor >= 0 && watched[1].revents) return Wait::stopped;
        if (watched[0].revents & POLLIN) return Wait::message;
        return Wait::gone;
    }
}

// One message of the helper within the deadline; descriptors it should not send are closed.
bool DecoderProcess::receive(Clock::time_point deadline, int stopDescriptor, wire::Message& message,
                             void (*whileWaiting)()) const {
    if (waitFor(deadline, stopDescriptor, whileWaiting) != Wait::message) return false;
    int fds[2];
    bool ended = false;
    const bool received = wire::receiveMessage(socket_, message, fds, ended);
    for (int fd : fds)
        if (fd >= 0) close(fd);
    return received && fds[0] < 0;
}

std::optional<std::uint64_t> DecoderProcess::cpuNanoseconds() const {
    clockid_t clock = 0;
    timespec used{};
    if (clock_getcpuclockid(pid_, &clock) != 0 || clock_gettime(clock, &used) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(used.tv_sec) * 1'000'000'000u + static_cast<std::uint64_t>(used.tv_nsec);
}

// The budget of a picture (decodeBudgetFor) by the pixels its header claims.
DecodeBudget decodeBudgetFor(std::uint64_t claimedPixels) {
    const std::uint64_t pixels = std::min(claimedPixels, maxDecodedPixels);
    // A quarter of a second, and of a CPU second, for each megapixel.
    const DecodeBudget base;
    return {base.cpuSeconds + pixels / 4'000'000, base.wallMs + pixels / 4'000};
}

DecodeBudget budgetForPictureFile(int fileDescriptor, std::uint64_t fileBytes) {
    const FileBytes file(fileDescriptor, fileBytes);
    const PictureHeader header = readPictureHeader(file);
    return decodeBudgetFor(header.status == HeaderStatus::sized ? header.width * header.height : 0);
}

// The CPU limit counts the helper's whole life, so each picture gets its budget
// on top of what the helper has used so far. An unprivileged process can lower
// a hard limit but never raise it again: a helper whose hard limit is too low
// for the picture is replaced (false), except a fresh one, which gets what its
// hard limit, the show's own, leaves.
bool DecoderProcess::limitCpu(const DecodeBudget& budget) const {
    rlimit current{};
    const std::optional<std::uint64_t> used = cpuNanoseconds();
    if (!used || prlimit(pid_, RLIMIT_CPU, nullptr, &current) != 0) return false;
    const rlim_t needed = static_cast<rlim_t>(*used / 1'000'000'000u) + 1 + budget.cpuSeconds;
    const bool bounded = current.rlim_max != RLIM_INFINITY;
    if (bounded && current.rlim_max < needed + 1 && !fresh_) return false;
    if (current.rlim_cur >= needed && current.rlim_cur <= needed + cpuHeadroomSeconds &&
        current.rlim_max == current.rlim_cur + 1)
        return true;
    rlim_t soft = needed + cpuHeadroomSeconds;
    if (bounded) soft = std::min(soft, current.rlim_max > 1 ? current.rlim_max - 1 : 0);
    const rlimit lowered{soft, bounded ? std::min(soft + 1, current.rlim_max) : soft + 1};
    return prlimit(pid_, RLIMIT_CPU, &lowered, nullptr) == 0;
}

// Before each picture: the helper said nothing out of turn, used no CPU time
// while it had nothing to do, has no more threads than the decoders need, and
// its limits leave room for the picture's budget.
bool DecoderProcess::fitForAnotherPicture(const DecodeBudget& budget) const {
    const std::optional<std::uint64_t> used = cpuNanoseconds();
    return used && *used - cpuAfterAnswer_ <= idleCpuNanoseconds && !somethingWaiting(socket_) &&
           withinThreadCap(pid_) && limitCpu(budget);
}

std::optional<DecoderProcess::Size> DecoderProcess::decode(int fileDescriptor, std::uint64_t fileBytes, bool upright,
                                                           const DecodeBudget& budget,
                                                           std::shared_ptr<SharedPixels>& buffer, int stopDescriptor,
                                                           void (*whileWaiting)()) {
    if (!running()) return std::nullopt;
    if (!fitForAnotherPicture(budget)) {
        end();
        if (start(stopDescriptor) != Start::running || !limitCpu(budget)) {
            end();
            return std::nullopt;
        }
    }
    const std::optional<Size> size =
        exchange(fileDescriptor, fileBytes, upright, budget, buffer, stopDescriptor, whileWaiting);
    // An answer that came with more threads than decoding needs still counts; the
    // threads do not stay.
    if (running() && !withinThreadCap(pid_)) end();
    if (running()) cpuAfterAnswer_ = cpuNanoseconds().value_or(0);
    return size;
}

// One picture's request and the helper's answers; the helper is ended unless it
// answered as it should.
std::optional<DecoderProcess::Size> DecoderProcess::exchange(int fileDescriptor, std::uint64_t fileBytes, bool upright,
                                                             const DecodeBudget& budget,
                                                             std::shared_ptr<SharedPixels>& buffer,
                                                             int stopDescriptor, void (*whileWaiting)()) {
    const auto wait = static_cast<std::int64_t>(static_cast<double>(budget.wallMs) * loadStretch());
    const auto deadline = Clock::now() + std::chrono::milliseconds(wait);
    fresh_ = false;
    wire::Message request;
    request.kind = wire::Kind::decode;
    request.request = ++request_;
    request.status = upright ? wire::turnUpright : 0;
    request.bytes = fileBytes;
    request.bufferBytes = buffer ? buffer->bytes() : 0;
    request.bufferId = buffer ? buffer->id() : 0;
    bool understood = wire::sendMessage(socket_, request, fileDescriptor, buffer ? buffer->descriptor() : -1);
    wire::Message answer;
    while (understood && receive(deadline, stopDescriptor, answer, whileWaiting) && answersFor(answer)) {
        if (answer.kind == wire::Kind::failed) return std::nullopt;
        if (answer.kind == wire::Kind::decoded) {
            const std::uint64_t w = static_cast<std::uint32_t>(answer.width), h = static_cast<std::uint32_t>(answer.height);
            understood = buffer && answer.width > 0 && answer.height > 0 && w * h <= maxDecodedPixels &&
                         w * h * sizeof(std::uint32_t) <= buffer->bytes();
            if (understood) return Size{answer.width, answer.height};
            break;
        }
        if (answer.kind != wire::Kind::needBuffer) break;
        std::unique_ptr<SharedPixels> larger = SharedPixels::make(answer.bytes);
        if (!larger) break;
        buffer = std::move(larger);
        wire::Message handOver;
        handOver.kind = wire::Kind::buffer;
        handOver.request = request_;
        handOver.bufferBytes = buffer->bytes();
        handOver.bufferId = buffer->id();
        understood = wire::sendMessage(socket_, handOver, buffer->descriptor());
    }
    // A show that is stopping does not wait for the helper to give its memory back.
    pollfd stop{stopDescriptor, POLLIN, 0};
    end(stopDescriptor >= 0 && poll(&stop, 1, 0) == 1);
    return std::nullopt;
}

void DecoderProcess::end(bool stopping) {
    if (socket_ >= 0) close(socket_);
    socket_ = -1;
    if (killed_ > 0 && waitpid(killed_, nullptr, WNOHANG) != 0) killed_ = -1;
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    if (stopping) {
        killed_ = pid_;
    } else {
        while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    pid_ = -1;
}

}  // namespace vellora::linux_platform
