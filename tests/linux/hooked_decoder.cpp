// The decoder program of the tests of the decoder process: it misbehaves on
// marker files, as a decoder fault or an exploit would. A file that starts with
// "VELLORA-TEST-" and one of these words makes it
//   CRASH         die of an illegal instruction,
//   LOOP          spin for ever,
//   OPEN PATH     create the file PATH,
//   SOCKET PATH   bind a Unix socket at PATH,
//   EXEC PATH     run a shell that creates PATH,
//   SPIN          keep SIGXCPU from ending it and leave a thread spinning after its answer,
//   THREADS N     leave N threads behind after its answer,
//   STDERR        read what its standard error holds (the show's terminal, once),
//   TWICE W H     answer this request again, as decoded at W × H,
// so that a file at PATH afterwards shows a filter that let it through.
//
// Two more ways to run it, for the filter itself and for the show's start:
//   vellora-decoder-hooked --call NAME   locks down, makes the system call NAME
//                                        (see calls below) and ends with 0;
//   a file "vellora-decoder.late" beside the program makes its next start say
//   hello 6 s late (the file is removed).
#include <fcntl.h>
#include <limits.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysinfo.h>
#include <sys/un.h>
#include <sys/utsname.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/decoding/decoder_sandbox.h"
#include "platform/decoding/decoder_wire.h"

namespace wire = vellora::linux_platform::wire;

namespace {

// The answer TWICE asks to repeat, as decoded at this size; 0 × 0 when none.
int repeatWidth = 0, repeatHeight = 0;

[[noreturn]] void waitForever() {
    for (;;) {
        timespec hour{3600, 0};
        nanosleep(&hour, nullptr);
    }
}

[[noreturn]] void spin() {
    volatile unsigned spin = 0;
    for (;;) spin = spin + 1;
}

// Threads that outlive the answer, on small stacks so that many fit the
// address-space limit.
void leaveThreads(int count) {
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, 64 * 1024);
    for (int i = 0; i < count; ++i) {
        pthread_t thread;
        pthread_create(&thread, &attributes, [](void*) -> void* { waitForever(); }, nullptr);
    }
    pthread_attr_destroy(&attributes);
}

void misbehave(const unsigned char* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 4096));
    const std::string marker = "VELLORA-TEST-";
    if (text.rfind(marker, 0) != 0) return;
    const std::string rest = text.substr(marker.size());
    const std::string word = rest.substr(0, rest.find_first_of(" \n"));
    std::string path = rest.size() > word.size() + 1 ? rest.substr(word.size() + 1) : "";
    path = path.substr(0, path.find('\n'));
    if (word == "CRASH") __builtin_trap();
    if (word == "LOOP") spin();
    if (word == "OPEN") {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (fd >= 0) close(fd);
    }
    if (word == "SOCKET") {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        if (fd >= 0) bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), close(fd);
    }
    if (word == "EXEC") execl("/bin/sh", "sh", "-c", ": > \"$0\"", path.c_str(), static_cast<char*>(nullptr));
    if (word == "SPIN") {
        // Blocked in every thread, SIGXCPU only waits: the soft CPU limit no longer ends the process.
        sigset_t cpuLimit;
        sigemptyset(&cpuLimit);
        sigaddset(&cpuLimit, SIGXCPU);
        sigprocmask(SIG_BLOCK, &cpuLimit, nullptr);
        std::thread(spin).detach();
    }
    if (word == "THREADS") leaveThreads(std::atoi(path.c_str()));
    if (word == "STDERR") {
        char typed[256];
        [[maybe_unused]] const ssize_t got = read(2, typed, sizeof typed);
    }
    if (word == "TWICE") std::sscanf(path.c_str(), "%d %d", &repeatWidth, &repeatHeight);
}

// A thread's heap that grows and shrinks: the C library's allocator then reads
// /proc/sys/vm/overcommit_memory, as it did under libjxl's threads.
void shrinkAThreadsHeap() {
    std::thread([] {
        std::vector<void*> blocks;
        for (int i = 0; i < 64; ++i) blocks.push_back(std::malloc(64 * 1024));
        for (void* block : blocks) std::memset(block, 1, 64 * 1024);
        for (auto block = blocks.rbegin(); block != blocks.rend(); ++block) std::free(*block);
    }).join();
}

// Each call as a library or an attacker would make it after the lock-down.
const std::map<std::string, void (*)()>& calls() {
    static const std::map<std::string, void (*)()> table = {
        {"overcommit", [] { syscall(SYS_openat, AT_FDCWD, "/proc/sys/vm/overcommit_memory", O_RDONLY); }},
        {"trim", shrinkAThreadsHeap},
        {"open", [] { syscall(SYS_open, "/etc/passwd", O_RDONLY); }},
        {"stat", [] { struct stat info; syscall(SYS_newfstatat, AT_FDCWD, "/etc/passwd", &info, 0); }},
        {"statx", [] { struct statx info; syscall(SYS_statx, AT_FDCWD, "/etc/passwd", 0, STATX_SIZE, &info); }},
        {"readlink", [] { char path[PATH_MAX]; syscall(SYS_readlink, "/proc/self/exe", path, sizeof path); }},
        {"sysinfo", [] { struct sysinfo info; sysinfo(&info); }},
        {"affinity", [] { cpu_set_t cpus; sched_getaffinity(0, sizeof cpus, &cpus); }},
        {"terminal", [] { termios mode; syscall(SYS_ioctl, 0, TCGETS, &mode); }},
        {"uname", [] { utsname name; syscall(SYS_uname, &name); }},
        {"limits", [] { rlimit cpu; getrlimit(RLIMIT_CPU, &cpu); }},
        {"execve", [] { execl("/bin/true", "true", static_cast<char*>(nullptr)); }},
        {"fork", [] { syscall(SYS_fork); }},
        {"socket", [] { syscall(SYS_socket, AF_INET, SOCK_STREAM, 0); }},
        {"ptrace", [] { syscall(SYS_ptrace, PTRACE_ATTACH, getppid(), 0, 0); }},
        {"kill", [] { syscall(SYS_kill, getppid(), 0); }},
        {"executable memory", [] { mmap(nullptr, 4096, PROT_READ | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0); }},
        {"write", [] { syscall(SYS_write, 2, "x", 1); }},
        {"sigxcpu", [] { signal(SIGXCPU, SIG_IGN); }},
        {"cpu limit", [] { rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY}; setrlimit(RLIMIT_CPU, &unlimited); }},
    };
    return table;
}

int makeCall(const std::string& name) {
    const auto call = calls().find(name);
    if (call == calls().end() || vellora::linux_platform::lockDown() != vellora::linux_platform::Lockdown::done)
        return 2;
    call->second();
    return 0;
}

void startLateWhenAsked() {
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return;
    const std::string path(self, static_cast<std::size_t>(length));
    if (unlink((path.substr(0, path.rfind('/') + 1) + "vellora-decoder.late").c_str()) == 0) sleep(6);
}

}  // namespace

// Every message the decoder sends passes here (the link wraps sendmsg), so that
// TWICE can follow an answer with another one for the same request.
extern "C" ssize_t __real_sendmsg(int socket, const msghdr* message, int flags);
extern "C" ssize_t __wrap_sendmsg(int socket, const msghdr* message, int flags) {
    const ssize_t sent = __real_sendmsg(socket, message, flags);
    if (repeatWidth > 0 && message->msg_iovlen == 1 && message->msg_iov[0].iov_len == sizeof(wire::Message)) {
        wire::Message again;
        std::memcpy(&again, message->msg_iov[0].iov_base, sizeof again);
        if (again.kind == wire::Kind::failed || again.kind == wire::Kind::decoded) {
            again.kind = wire::Kind::decoded;
            again.width = repeatWidth, again.height = repeatHeight;
            repeatWidth = repeatHeight = 0;
            iovec part{&again, sizeof again};
            msghdr repeated{};
            repeated.msg_iov = &part;
            repeated.msg_iovlen = 1;
            __real_sendmsg(socket, &repeated, flags);
        }
    }
    return sent;
}

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--call") == 0) return makeCall(argv[2]);
    startLateWhenAsked();
    return vellora::linux_platform::runDecoder(argc, argv, misbehave);
}
