// A show on every monitor, one process per monitor: the first process finds the
// monitors, shows on one of them itself, and starts the program again for each of
// the others with the private switch that names the monitor.
//
// Contract: areas are in the virtual screen's pixels with the origin at its top
// left, and carry the monitor's physical size in millimetres (0 when unknown).
// The processes end together: the first ends the others when it ends, and ends
// itself (as on a stop signal) when any of them ends; each of the others ends when
// the first dies however it dies. The display system decides which monitors there
// are and when the first may start the others (after its own window exists, so that
// it does not find theirs and defer to them).
// A display system whose monitors a position does not single out (Wayland's
// outputs) also names the monitor by its own number for it, which every client of
// that display sees alike (the output's global name), and its show finds it by that.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vellora::linux_platform {

struct MonitorArea {
    std::int32_t left = 0, top = 0, width = 0, height = 0;
    std::int32_t widthMm = 0, heightMm = 0;
    std::uint32_t output = 0;  // the display system's number for the monitor; 0 when the position says it
    bool operator==(const MonitorArea&) const = default;
};

// The private switch of a show started for one monitor; never in the help text.
inline constexpr const char* monitorAreaSwitch = "--monitor-area";
// LEFT,TOP,WIDTH,HEIGHT,WIDTH_MM,HEIGHT_MM[,OUTPUT]: sizes positive and at most
// 65535, millimetres from 0, the origin within ±65535, the output from 1 to 2^32-1.
std::string formatMonitorArea(const MonitorArea& area);
std::optional<MonitorArea> parseMonitorArea(const char* text);

// The most monitors that get a show; any beyond are left as they are.
inline constexpr std::size_t maxMonitors = 16;

// Starts a show process for each area with the program's own arguments (argv
// without the program name) and the switch; false when one could not be started,
// in which case those already started are ended again.
bool startMonitorShows(const std::vector<std::string>& arguments, const std::vector<MonitorArea>& areas);
// Ends every show started above and waits for them; a show that ignores SIGTERM
// for two seconds is killed. Safe to call when none was started.
void endMonitorShows();

}  // namespace vellora::linux_platform
