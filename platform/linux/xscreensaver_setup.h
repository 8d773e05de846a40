// Adding Vellora to the xscreensaver daemon's list of hacks. The daemon lists only
// the programs named in the user's `programs:` resource, in ~/.xscreensaver.
//
// Contract: the text functions are pure and never fail; the file operation keeps a
// backup of a file it changes (~/.xscreensaver.bak) and leaves a file that already
// names vellora untouched, so running it twice changes nothing the second time.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vellora::linux_platform {

inline constexpr const char* xscreensaverEntry = "vellora --root";

// The file's text with vellora added at the head of its programs list (a programs
// resource is made when there is none); nothing when it already names vellora.
std::optional<std::string> withVelloraProgram(const std::string& fileText);

// A new ~/.xscreensaver whose programs are vellora and then `systemPrograms`, each a
// line of the resource as the daemon writes it ("maze --root", "GL: gears --root").
std::string newXscreensaverFile(const std::vector<std::string>& systemPrograms);

// The programs the system offers by default: the app-defaults file's list where it
// exists, else every installed hack that has a description.
std::vector<std::string> systemDefaultPrograms();

// Adds vellora to the user's file; prints what it did. Exit code: 0 done or already
// there, 1 the file could not be written.
int installIntoXscreensaver();

}  // namespace vellora::linux_platform
