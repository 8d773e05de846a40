#include "platform/decoding/decoder_sandbox.h"

#include <errno.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <new>
#include <vector>

#include "platform/decoding/colour_profile.h"
#include "platform/decoding/decoder_wire.h"
#include "platform/decoding/orientation.h"

namespace vellora::linux_platform {
namespace {

// Lowers a limit; one that is already lower stays as it is.
bool limit(int resource, rlim_t most) {
    rlimit current{};
    if (getrlimit(resource, &current) != 0) return false;
    const rlimit lowered{std::min(current.rlim_cur, most), std::min(current.rlim_max, most)};
    return setrlimit(resource, &lowered) == 0;
}

// The CPU limit's hard value stays where it is, so that the show can set the soft
// one (and lower the hard one) before each picture; the decoder itself cannot
// change either, as the filter kills it for trying.
bool limitCpu(rlim_t seconds) {
    rlimit current{};
    if (getrlimit(RLIMIT_CPU, &current) != 0) return false;
    current.rlim_cur = std::min(current.rlim_max, seconds);
    return setrlimit(RLIMIT_CPU, &current) == 0;
}

bool applyLimits() {
    // Standard streams, the socket, a picture and a buffer, with room for a retry.
    constexpr rlim_t descriptors = 8;
    return limit(RLIMIT_AS, decoderAddressSpace) && limitCpu(DecodeBudget{}.cpuSeconds) && limit(RLIMIT_CORE, 0) &&
           limit(RLIMIT_FSIZE, 0) && limit(RLIMIT_NOFILE, descriptors);
}

struct Filter {
    // What no rule names is refused with ENOSYS, as a kernel without the call
    // would: a library that probes the system (its memory, its processors, a
    // file under /proc) gets an error, not a killed process.
    scmp_filter_ctx context = seccomp_init(SCMP_ACT_ERRNO(ENOSYS));
    ~Filter() {
        if (context) seccomp_release(context);
    }
    Filter() = default;
    Filter(const Filter&) = delete;
    Filter& operator=(const Filter&) = delete;
};

// A system call that this architecture lacks is simply not added.
bool addRule(scmp_filter_ctx filter, std::uint32_t action, int call, std::initializer_list<scmp_arg_cmp> arguments) {
    return call < 0 || seccomp_rule_add_array(filter, action, call, static_cast<unsigned>(arguments.size()),
                                              arguments.size() ? arguments.begin() : nullptr) == 0;
}

bool addRules(scmp_filter_ctx filter, std::uint32_t action, std::initializer_list<int> calls) {
    return std::all_of(calls.begin(), calls.end(), [&](int call) { return addRule(filter, action, call, {}); });
}

// What decoding from memory needs, with threads for the decoders that use them:
// memory (never executable), the descriptors it was given, futexes, clocks,
// the thread calls of the C library (signal handlers of its own, thread names),
// and looking at its own limits, which is how the C library's getrlimit asks.
bool allowDecoding(scmp_filter_ctx filter) {
    const scmp_arg_cmp notExecutable = SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0);
    const scmp_arg_cmp onOwnSocket = SCMP_A0(SCMP_CMP_EQ, wire::decoderSocket);
    const scmp_arg_cmp aThread = SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD, CLONE_THREAD);
    const scmp_arg_cmp notCpuLimitSignal = SCMP_A0(SCMP_CMP_NE, SIGXCPU);
    return addRules(filter, SCMP_ACT_ALLOW,
                    {SCMP_SYS(read), SCMP_SYS(readv), SCMP_SYS(pread64), SCMP_SYS(lseek), SCMP_SYS(fstat),
                     SCMP_SYS(close), SCMP_SYS(munmap), SCMP_SYS(mremap), SCMP_SYS(madvise), SCMP_SYS(brk),
                     SCMP_SYS(futex), SCMP_SYS(exit), SCMP_SYS(exit_group), SCMP_SYS(rt_sigreturn),
                     SCMP_SYS(rt_sigprocmask), SCMP_SYS(restart_syscall), SCMP_SYS(clock_gettime),
                     SCMP_SYS(clock_nanosleep), SCMP_SYS(nanosleep), SCMP_SYS(sched_yield), SCMP_SYS(getrandom),
                     SCMP_SYS(set_robust_list), SCMP_SYS(rseq), SCMP_SYS(gettid), SCMP_SYS(getpid),
                     SCMP_SYS(sched_getaffinity), SCMP_SYS(sysinfo), SCMP_SYS(sigaltstack)}) &&
           addRule(filter, SCMP_ACT_ALLOW, SCMP_SYS(mmap), {notExecutable}) &&
           addRule(filter, SCMP_ACT_ALLOW, SCMP_SYS(mprotect), {notExecutable}) &&
           addRule(filter, SCMP_ACT_ALLOW, SCMP_SYS(recvmsg), {onOwnSocket}) &&
           addRule(filter, SCMP_ACT_ALLOW, SCMP_SYS(sendmsg), {onOwnSocket}) &&
           addRule(filter, SCMP_ACT_ALLOW, SCMP_SYS(clone), {aThread}) &&
           addRule(filter, SCMP_ACT_ALLOW, SCMP_SYS(prctl), {SCMP_A0(SCMP_CMP_EQ, PR_SET_NAME)}) &&
           addRule(filter, SCMP_ACT_ALLOW, SCMP_SYS(rt_sigaction), {notCpuLimitSignal}) &&
           addRule(filter, SCMP_ACT_ALLOW, SCMP_SYS(prlimit64), {SCMP_A2(SCMP_CMP_EQ, 0)});
}

// Files and what the system says about itself are refused as a locked-down user
// would be: the C library's allocator, for one, reads
// /proc/sys/vm/overcommit_memory the first time a thread's heap shrinks.
bool refuseFiles(scmp_filter_ctx filter) {
    return addRules(filter, SCMP_ACT_ERRNO(EACCES),
                    {SCMP_SYS(open), SCMP_SYS(openat), SCMP_SYS(openat2), SCMP_SYS(creat), SCMP_SYS(stat),
                     SCMP_SYS(lstat), SCMP_SYS(newfstatat), SCMP_SYS(statx), SCMP_SYS(access), SCMP_SYS(faccessat),
                     SCMP_SYS(faccessat2), SCMP_SYS(readlink), SCMP_SYS(readlinkat), SCMP_SYS(statfs),
                     SCMP_SYS(fstatfs), SCMP_SYS(getdents64)});
}

// What only an attacker needs ends the process: running programs, other
// processes, the network, executable memory, the kernel's attack surface beyond
// decoding, writing anywhere but the socket, and undoing the CPU limit.
bool killAttacks(scmp_filter_ctx filter) {
    const scmp_arg_cmp executable = SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, PROT_EXEC);
    const scmp_arg_cmp notOwnSocket = SCMP_A0(SCMP_CMP_NE, wire::decoderSocket);
    const scmp_arg_cmp aProcess = SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD, 0);
    const int writes[] = {SCMP_SYS(write), SCMP_SYS(writev), SCMP_SYS(pwrite64), SCMP_SYS(pwritev), SCMP_SYS(pwritev2),
                          SCMP_SYS(sendmsg)};
    return addRules(filter, SCMP_ACT_KILL_PROCESS,
                    {SCMP_SYS(execve), SCMP_SYS(execveat), SCMP_SYS(fork), SCMP_SYS(vfork), SCMP_SYS(ptrace),
                     SCMP_SYS(process_vm_readv), SCMP_SYS(process_vm_writev), SCMP_SYS(kill), SCMP_SYS(tkill),
                     SCMP_SYS(tgkill), SCMP_SYS(pidfd_open), SCMP_SYS(pidfd_getfd), SCMP_SYS(pidfd_send_signal),
                     SCMP_SYS(socket), SCMP_SYS(socketpair), SCMP_SYS(connect), SCMP_SYS(bind), SCMP_SYS(listen),
                     SCMP_SYS(accept), SCMP_SYS(accept4), SCMP_SYS(sendto), SCMP_SYS(sendmmsg),
                     SCMP_SYS(recvfrom), SCMP_SYS(recvmmsg), SCMP_SYS(sendfile), SCMP_SYS(splice), SCMP_SYS(tee),
                     SCMP_SYS(vmsplice), SCMP_SYS(copy_file_range), SCMP_SYS(io_uring_setup),
                     SCMP_SYS(io_uring_enter), SCMP_SYS(io_uring_register), SCMP_SYS(bpf),
                     SCMP_SYS(perf_event_open), SCMP_SYS(userfaultfd), SCMP_SYS(unshare), SCMP_SYS(setns),
                     SCMP_SYS(mount), SCMP_SYS(keyctl), SCMP_SYS(add_key), SCMP_SYS(request_key),
                     SCMP_SYS(pkey_mprotect), SCMP_SYS(memfd_create), SCMP_SYS(setrlimit)}) &&
           addRule(filter, SCMP_ACT_KILL_PROCESS, SCMP_SYS(prlimit64), {SCMP_A2(SCMP_CMP_NE, 0)}) &&
           addRule(filter, SCMP_ACT_KILL_PROCESS, SCMP_SYS(mmap), {executable}) &&
           addRule(filter, SCMP_ACT_KILL_PROCESS, SCMP_SYS(mprotect), {executable}) &&
           addRule(filter, SCMP_ACT_KILL_PROCESS, SCMP_SYS(clone), {aProcess}) &&
           addRule(filter, SCMP_ACT_KILL_PROCESS, SCMP_SYS(rt_sigaction), {SCMP_A0(SCMP_CMP_EQ, SIGXCPU)}) &&
           std::all_of(std::begin(writes), std::end(writes),
                       [&](int call) { return addRule(filter, SCMP_ACT_KILL_PROCESS, call, {notOwnSocket}); });
}

// The C library tries clone3 first, whose flags a filter cannot see, and falls
// back to clone when the filter's ENOSYS says it is missing.
bool buildFilter(scmp_filter_ctx filter) {
    return allowDecoding(filter) && refuseFiles(filter) && killAttacks(filter);
}

// A shared pixel buffer of the show's, mapped for writing while the decoder has it.
class Buffer {
public:
    ~Buffer() { release(); }
    // Takes `fd` of `bytes` bytes; the same buffer as before keeps its mapping.
    bool adopt(int fd, std::uint32_t id, std::uint64_t bytes) {
        if (map_ && id == id_ && bytes == bytes_) {
            close(fd);
            return true;
        }
        release();
        void* map = bytes > 0 && bytes <= maxDecodedPixels * sizeof(std::uint32_t)
                        ? mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                        : MAP_FAILED;
        close(fd);
        if (map == MAP_FAILED) return false;
        map_ = map, bytes_ = bytes, id_ = id;
        return true;
    }
    bool holds(std::uint64_t bytes) const { return map_ && bytes_ >= bytes; }
    void* data() const { return map_; }
    void release() {
        if (map_) munmap(map_, bytes_);
        map_ = nullptr;
        bytes_ = 0;
    }

private:
    void* map_ = nullptr;
    std::uint64_t bytes_ = 0;
    std::uint32_t id_ = 0;
};

// Reads `size` bytes of a regular file the show opened; a file that changed its
// length since the show looked fails.
bool readFile(int fd, std::uint64_t size, std::vector<unsigned char>& bytes) {
    if (size == 0 || size > maxPictureFileBytes) return false;
    bytes.resize(static_cast<std::size_t>(size));
    std::size_t have = 0;
    while (have < bytes.size()) {
        const ssize_t got = read(fd, bytes.data() + have, bytes.size() - have);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        have += static_cast<std::size_t>(got);
    }
    unsigned char more = 0;
    return read(fd, &more, 1) == 0;
}

class Service {
public:
    explicit Service(DecodeHook hook) : hook_(hook) {}

    // False when the show is gone or broke the protocol.
    bool answerOne() {
        wire::Message request;
        int fds[2];
        bool ended = false;
        if (!wire::receiveMessage(wire::decoderSocket, request, fds, ended)) return false;
        if (request.kind != wire::Kind::decode || fds[0] < 0) {
            for (int fd : fds)
                if (fd >= 0) close(fd);
            return false;
        }
        request_ = request.request;
        // Without a buffer the show still shows the pixels of the last one: it is not ours to write.
        if (fds[1] >= 0) buffer_.adopt(fds[1], request.bufferId, request.bufferBytes);
        else buffer_.release();
        const bool decoded = decode(fds[0], request.bytes, (request.status & wire::turnUpright) != 0);
        close(fds[0]);
        if (!decoded) return reply(wire::Kind::failed);
        const std::uint64_t needed = image_.pixels.size() * sizeof(std::uint32_t);
        if (!buffer_.holds(needed)) {
            wire::Message ask = answer(wire::Kind::needBuffer);
            ask.bytes = needed;
            if (!wire::sendMessage(wire::decoderSocket, ask)) return false;
            wire::Message handed;
            if (!wire::receiveMessage(wire::decoderSocket, handed, fds, ended)) return false;
            if (handed.kind != wire::Kind::buffer || handed.request != request_ || fds[0] < 0 || fds[1] >= 0)
                return false;
            if (!buffer_.adopt(fds[0], handed.bufferId, handed.bufferBytes) || !buffer_.holds(needed))
                return reply(wire::Kind::failed);
        }
        std::memcpy(buffer_.data(), image_.pixels.data(), needed);
        wire::Message done = answer(wire::Kind::decoded);
        done.width = image_.width;
        done.height = image_.height;
        return wire::sendMessage(wire::decoderSocket, done);
    }

private:
    wire::Message answer(wire::Kind kind) const {
        wire::Message message;
        message.kind = kind;
        message.request = request_;
        return message;
    }

    bool reply(wire::Kind kind) { return wire::sendMessage(wire::decoderSocket, answer(kind)); }

    // Memory that runs out anywhere on the way fails the picture, not the process.
    bool decode(int fd, std::uint64_t size, bool upright) {
        bool decoded = false;
        try {
            if (!readFile(fd, size, bytes_)) return false;
            if (hook_) hook_(bytes_.data(), bytes_.size());
            decoded = decodePictureInto(bytes_.data(), bytes_.size(), image_);
            if (decoded && upright) turnUpright(image_, bytes_.data(), bytes_.size());
            if (decoded) convertToSrgb(image_);
        } catch (const std::bad_alloc&) {
            decoded = false;
        }
        // A large file's bytes are not kept for the next one; the image's storage is.
        constexpr std::size_t keptFileBytes = 64u << 20;
        if (bytes_.capacity() > keptFileBytes) bytes_ = {};
        return decoded && image_.width > 0 && image_.height > 0 &&
               image_.pixels.size() == static_cast<std::size_t>(image_.width) * static_cast<std::size_t>(image_.height);
    }

    DecodeHook hook_;
    std::uint32_t request_ = 0;
    std::vector<unsigned char> bytes_;
    DecodedImage image_;
    Buffer buffer_;
};

}  // namespace

Lockdown lockDown() {
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || !applyLimits()) return Lockdown::failed;
    // A kernel built without seccomp answers EINVAL to this question.
    if (prctl(PR_GET_SECCOMP, 0, 0, 0, 0) < 0 && errno == EINVAL) return Lockdown::noSeccomp;
    Filter filter;
    if (!filter.context || !buildFilter(filter.context)) return Lockdown::failed;
    const int loaded = seccomp_load(filter.context);
    if (loaded == -EINVAL || loaded == -ENOSYS) return Lockdown::noSeccomp;
    return loaded == 0 ? Lockdown::done : Lockdown::failed;
}

int serveShow(DecodeHook beforeDecoding) {
    Service service(beforeDecoding);
    while (service.answerOne()) {
    }
    return 0;
}

int runDecoder(int argc, char** argv, DecodeHook beforeDecoding) {
    // Killed with the show, however it ends; a show that ended before this line
    // is no longer the parent.
    prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
    if (argc != 3 || std::strcmp(argv[1], "--serve") != 0) {
        std::fputs("vellora-decoder decodes pictures for vellora, which starts it\n", stderr);
        return 2;
    }
    if (getppid() != static_cast<pid_t>(std::strtol(argv[2], nullptr, 10))) return 1;
    // libheif looks for its plugins at its first use, which the filter would forbid.
    prepareDecoders();
    const Lockdown state = lockDown();
    if (state == Lockdown::failed) return 1;
    wire::Message hello;
    hello.kind = wire::Kind::hello;
    hello.status = static_cast<std::uint32_t>(state == Lockdown::done ? wire::HelloStatus::lockedDown
                                                                      : wire::HelloStatus::noSeccomp);
    if (!wire::sendMessage(wire::decoderSocket, hello) || state != Lockdown::done) return 0;
    return serveShow(beforeDecoding);
}

}  // namespace vellora::linux_platform
