// The program started again as a child: a show per monitor, or the show of the
// idle watcher.
//
// Contract: startProgram runs this same executable with `arguments` (without the
// program name) and returns its process id, or -1. The child gets SIGTERM when the
// process that started it dies, however that happens, so no show outlives its
// starter. endProgram sends SIGTERM, waits up to `patienceMs`, then kills and
// reaps; it must not race with a SIGCHLD handler that reaps the same child.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace vellora::linux_platform {

pid_t startProgram(const std::vector<std::string>& arguments);
void endProgram(pid_t child, int patienceMs);

}  // namespace vellora::linux_platform
