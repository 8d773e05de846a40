// Optional pacing of the transitions whose speed would otherwise be the machine's.
//
// Contract:
// - Off by default, and off it changes nothing: no clock is read and no pause is
//   added, so every transition makes exactly the calls it makes without it.
// - On, each frame of the enlarge, the moves, the crosses and the bars reveals
//   lasts at least framePaceMs: after drawing a frame the transition pauses for
//   the part of framePaceMs that the frame has not yet taken, as the platform
//   clock's tick count measures it (a frame that took that long already gets no
//   pause). The mosaic reveal draws its cells in mosaicBatches equal batches with
//   a pause of mosaicBatchPauseMs after each, instead of yielding after every
//   cell. The rows that pause by their own rule (scans, splits, blinds) and every
//   clear are unchanged.
// - The switch is process-wide, like the show it paces; the program sets it once
//   before the show starts.
#pragma once

#include <cstdint>

namespace vellora {

inline constexpr std::uint32_t framePaceMs = 10;
inline constexpr std::int32_t mosaicBatches = 120;
inline constexpr std::uint32_t mosaicBatchPauseMs = 16;

void setPacedTransitions(bool on);
bool pacedTransitions();

// One frame of a sliding or growing transition. Construct it before drawing the
// frame and call end() after the frame's last drawing call.
class PacedFrame {
public:
    PacedFrame();
    void end() const;

private:
    std::uint32_t started_ = 0;
};

}  // namespace vellora
