// The record of the running full-screen show of a session: its process id in
// $XDG_RUNTIME_DIR/vellora.SESSION.pid, where SESSION names the display the show
// runs on (wayland.NAME for a Wayland display, x11.NAME for an X display), so that
// `vellora --stop` (an idle daemon's resume command) ends the show of its own
// session and a second start there can find it, while another session of the same
// user, which shares the runtime folder, has a record of its own.
//
// Contract: recordRunningShow writes the file atomically, or says once on standard
// error that it cannot; forgetRunningShow undoes it, removing the file only while
// it still names this process. The environment and the file are hostile input: a
// display's name becomes one file name in the folder whatever its bytes, and
// runningShow accepts only a process id that names a live program of the same
// executable. Without a usable $XDG_RUNTIME_DIR nothing is recorded and nothing
// is found.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace vellora::linux_platform {

// The process id the file's text names: decimal digits, optionally ended by a line
// end; nothing for anything else, for 0 and 1, and above 99999999.
std::optional<pid_t> parseProcessId(std::string_view text);

// The record's file name for a show on the Wayland display `display` (as
// WAYLAND_DISPLAY names it: a socket of `runtimeFolder` by its name or its path,
// or another path), and for a show on the X display `display` (as DISPLAY names
// it; its screen number and a "unix" host name no other display).
std::string waylandRecordName(std::string_view display, std::string_view runtimeFolder);
std::string x11RecordName(std::string_view display);
// The same for the displays the environment names; empty where it names none.
std::string waylandRecordName();
std::string x11RecordName();

bool recordRunningShow(const std::string& recordName);
void forgetRunningShow();
std::optional<pid_t> runningShow(const std::string& recordName);
// `vellora --stop`: asks the running show of each session the environment names
// to end and waits up to a second for it. 0 also when no show was running; 1, with
// a message, where no show could have been recorded (no usable runtime folder, no
// display named).
int stopRunningShows();

}  // namespace vellora::linux_platform
