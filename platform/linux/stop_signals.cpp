// The stop request of SIGTERM and SIGINT, and a descriptor that wakes a waiting loop.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include "platform/linux/linux_internal.h"

namespace vellora::linux_platform {
namespace {

volatile sig_atomic_t stopFlag = 0;
int wakePipe[2] = {-1, -1};

void onStopSignal(int) { requestStop(); }

}  // namespace

void requestStop() {
    const int savedErrno = errno;
    stopFlag = 1;
    const char byte = 1;
    // Nothing to do when the pipe is full: one byte already wakes the loop.
    [[maybe_unused]] const ssize_t ignored = write(wakePipe[1], &byte, 1);
    errno = savedErrno;
}

bool stopRequested() { return stopFlag != 0; }

void installStopSignals() {
    if (pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) wakePipe[0] = wakePipe[1] = -1;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a pause in progress must end when the signal comes.
    action.sa_flags = 0;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

int stopWakeDescriptor() { return wakePipe[0]; }

}  // namespace vellora::linux_platform
