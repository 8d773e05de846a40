// The record of the running full-screen show: its process id in
// $XDG_RUNTIME_DIR/vellora.pid, so that `vellora --stop` (an idle daemon's resume
// command) can end it and a second start can find it.
//
// Contract: recordRunningShow writes the file atomically and is undone by
// forgetRunningShow, which removes the file only while it still names this
// process. The file is hostile input: runningShow accepts only a process id that
// names a live program of the same executable. Without $XDG_RUNTIME_DIR nothing
// is recorded and nothing is found.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string_view>

namespace vellora::linux_platform {

// The process id the file's text names: decimal digits, optionally ended by a line
// end; nothing for anything else, for 0 and 1, and above 99999999.
std::optional<pid_t> parseProcessId(std::string_view text);

void recordRunningShow();
void forgetRunningShow();
std::optional<pid_t> runningShow();
// Asks the running show to end and waits up to a second for it; the exit code of
// `vellora --stop`: 0 also when no show was running.
int stopRunningShow();

}  // namespace vellora::linux_platform
