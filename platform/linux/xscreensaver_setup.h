// Adding Vellora to the xscreensaver daemon's list of hacks. The daemon lists only
// the programs named in the user's `programs:` resource, in ~/.xscreensaver.
//
// Contract: the text functions are pure and never fail; the file operation keeps a
// backup of a file it changes (~/.xscreensaver.bak) and leaves a file that already
// names vellora untouched, so running it twice changes nothing the second time. It
// never replaces a file it could not read, and it writes as the user's files are
// written (platform/linux/user_files.h): through links, keeping modes, atomically.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vellora::linux_platform {

inline constexpr const char* xscreensaverEntry = "vellora --root";

// The file's text with vellora added at the head of its programs list; nothing when
// it already names vellora. A file without a programs resource leaves the daemon
// its defaults, so the new resource lists vellora and then `systemPrograms`. Lines
// may end in CR LF, and the new lines end as the file's do.
std::optional<std::string> withVelloraProgram(const std::string& fileText,
                                              const std::vector<std::string>& systemPrograms);

// A new ~/.xscreensaver whose programs are vellora and then `systemPrograms`, each a
// line of the resource as the daemon writes it ("maze --root", "GL: gears --root").
std::string newXscreensaverFile(const std::vector<std::string>& systemPrograms);

// The programs the system offers by default: the app-defaults file's list where it
// exists, else every installed hack that has a description.
std::vector<std::string> systemDefaultPrograms();

// Adds vellora to `homeFolder`/.xscreensaver; prints what it did. Exit code: 0 done
// or already there, 1 the file could not be read or written (it is then unchanged).
int installIntoXscreensaver(const std::string& homeFolder);

}  // namespace vellora::linux_platform
