#include "platform/decoding/decoder_process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <utility>
#include <vector>

#include "platform/decoding/decode.h"
#include "platform/decoding/decoder_sandbox.h"
#include "platform/decoding/decoder_wire.h"
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

// The helper gets the socket as descriptor 3, nothing to read or print to but
// standard error, none of the show's other descriptors, the default signal
// handling, and an empty environment.
pid_t spawnHelper(const std::string& program, int socket) {
    SpawnSetup setup;
    posix_spawn_file_actions_adddup2(&setup.actions, socket, wire::decoderSocket);
    posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&setup.actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, wire::decoderSocket + 1);
    sigset_t none, stops;
    sigemptyset(&none);
    sigemptyset(&stops);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGPIPE);
    posix_spawnattr_setsigmask(&setup.attributes, &none);
    posix_spawnattr_setsigdefault(&setup.attributes, &stops);
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const std::string parent = std::to_string(getpid());
    char* argv[] = {const_cast<char*>("vellora-decoder"), const_cast<char*>("--serve"), const_cast<char*>(parent.c_str()),
                    nullptr};
    char* environment[] = {nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &setup.actions, &setup.attributes, argv, environment) != 0) return -1;
    return pid;
}

enum class Wait { message, gone, timedOut, stopped };

// Waits for the socket to have something, the stop descriptor to wake, or the
// deadline; `whileWaiting`, when given, is called each 50 ms of quiet.
Wait waitFor(int socket, int stopDescriptor, Clock::time_point deadline, void (*whileWaiting)() = nullptr) {
    constexpr std::int64_t slice = 50;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return Wait::timedOut;
        pollfd watched[2] = {{socket, POLLIN, 0}, {stopDescriptor, POLLIN, 0}};
        const int ready = poll(watched, stopDescriptor >= 0 ? 2 : 1,
                               static_cast<int>(whileWaiting ? std::min(left, slice) : left));
        if (ready < 0 && errno != EINTR) return Wait::gone;
        if (ready == 0 && whileWaiting) whileWaiting();
        if (ready <= 0) continue;
        if (stopDescriptor >= 0 && watched[1].revents) return Wait::stopped;
        if (watched[0].revents & POLLIN) return Wait::message;
        return Wait::gone;
    }
}

// One answer of the helper within the deadline; descriptors it should not send are closed.
bool receiveWithin(int socket, int stopDescriptor, Clock::time_point deadline, wire::Message& message,
                   void (*whileWaiting)() = nullptr) {
    if (waitFor(socket, stopDescriptor, deadline, whileWaiting) != Wait::message) return false;
    int fds[2];
    bool ended = false;
    const bool received = wire::receiveMessage(socket, message, fds, ended);
    for (int fd : fds)
        if (fd >= 0) close(fd);
    return received && fds[0] < 0;
}

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
    if (pid_ <= 0) {
        end();
        return Start::unavailable;
    }
    wire::Message hello;
    const auto deadline = Clock::now() + std::chrono::milliseconds(DecodeBudget{}.wallMs);
    if (!receiveWithin(socket_, stopDescriptor, deadline, hello) || hello.kind != wire::Kind::hello) {
        end();
        return Start::unavailable;
    }
    if (hello.status != static_cast<std::uint32_t>(wire::HelloStatus::lockedDown)) {
        end();
        return hello.status == static_cast<std::uint32_t>(wire::HelloStatus::noSeccomp) ? Start::noSeccomp
                                                                                         : Start::unavailable;
    }
    return Start::running;
}

// The CPU limit counts the helper's whole life, so each picture gets its own
// share on top of what the helper has used so far.
DecodeBudget decodeBudgetFor(std::uint64_t claimedPixels) {
    const std::uint64_t pixels = std::min(claimedPixels, maxDecodedPixels);
    // A quarter of a second, and of a CPU second, for each megapixel.
    const DecodeBudget base;
    return {base.cpuSeconds + pixels / 4'000'000, base.wallMs + pixels / 4'000};
}

DecodeBudget budgetForPictureFile(int fileDescriptor, std::uint64_t fileBytes) {
    std::vector<unsigned char> start(static_cast<std::size_t>(std::min<std::uint64_t>(256 * 1024, fileBytes)));
    const ssize_t got = pread(fileDescriptor, start.data(), start.size(), 0);
    if (got <= 0) return {};
    const PictureHeader header = readPictureHeader(start.data(), static_cast<std::size_t>(got));
    return decodeBudgetFor(header.status == HeaderStatus::sized ? header.width * header.height : 0);
}

void DecoderProcess::raiseCpuLimit(std::uint64_t seconds) const {
    clockid_t clock = 0;
    timespec used{};
    rlimit current{};
    if (clock_getcpuclockid(pid_, &clock) != 0 || clock_gettime(clock, &used) != 0 ||
        prlimit(pid_, RLIMIT_CPU, nullptr, &current) != 0)
        return;
    const rlim_t wanted = static_cast<rlim_t>(used.tv_sec) + 1 + seconds;
    const rlimit raised{current.rlim_max == RLIM_INFINITY || wanted < current.rlim_max ? wanted : current.rlim_max,
                        current.rlim_max};
    prlimit(pid_, RLIMIT_CPU, &raised, nullptr);
}

std::optional<DecoderProcess::Size> DecoderProcess::decode(int fileDescriptor, std::uint64_t fileBytes, bool upright,
                                                           const DecodeBudget& budget,
                                                           std::shared_ptr<SharedPixels>& buffer, int stopDescriptor,
                                                           void (*whileWaiting)()) {
    if (!running()) return std::nullopt;
    raiseCpuLimit(budget.cpuSeconds);
    const auto deadline = Clock::now() + std::chrono::milliseconds(budget.wallMs);
    wire::Message request;
    request.kind = wire::Kind::decode;
    request.status = upright ? wire::turnUpright : 0;
    request.bytes = fileBytes;
    request.bufferBytes = buffer ? buffer->bytes() : 0;
    request.bufferId = buffer ? buffer->id() : 0;
    bool understood = wire::sendMessage(socket_, request, fileDescriptor, buffer ? buffer->descriptor() : -1);
    wire::Message answer;
    while (understood && receiveWithin(socket_, stopDescriptor, deadline, answer, whileWaiting)) {
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
