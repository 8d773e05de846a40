#include "platform/linux/child_process.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace vellora::linux_platform {

pid_t startProgram(const std::vector<std::string>& arguments) {
    // Everything the child needs is made before fork: after it only system calls.
    std::vector<std::string> words{"vellora"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    sigset_t unblocked;
    sigemptyset(&unblocked);
    const pid_t starter = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        // The starter may have died before the line above.
        if (getppid() != starter) _exit(0);
        sigprocmask(SIG_SETMASK, &unblocked, nullptr);
        execv("/proc/self/exe", argv.data());
        _exit(127);
    }
    return pid;
}

void endProgram(pid_t child, int patienceMs) {
    if (child <= 0) return;
    kill(child, SIGTERM);
    constexpr int stepMs = 5;
    const timespec step{0, stepMs * 1'000'000};
    int status = 0;
    for (int waitedMs = 0; waitpid(child, &status, WNOHANG) == 0; waitedMs += stepMs) {
        if (waitedMs >= patienceMs) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return;
        }
        nanosleep(&step, nullptr);
    }
}

}  // namespace vellora::linux_platform
