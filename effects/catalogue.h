// The transition catalogue and what all transitions share.
//
// Contract: a reveal draws a freshly loaded picture onto the black screen and
// ends with the full draw; a clear blanks the previous picture's rectangle to
// black. Both read SlideState (screen, pixels per millimetre, picture fields) and
// change nothing in it; they draw straight onto SlideState::hdc, so each call is
// visible at once. A reveal borrows its picture for the call only.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace vellora {

using RevealFn = void (*)(const Picture& picture);
using ClearFn = void (*)();

struct EffectEntry {
    const char* name;  // GBK
    RevealFn reveal;
    ClearFn clear;
};

inline constexpr int effectCount = 20;
extern const EffectEntry effectCatalogue[effectCount];

// The row that the show runs for a stored effect index. The settings file may hold
// any number (the dialog writes -1 for "nothing selected"); those run the random row.
const EffectEntry& catalogueRow(std::int32_t effectIndex);

// Drawing primitives, on SlideState::hdc.
void renderPart(const Picture& picture, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy,
                std::int32_t xSrc, std::int32_t ySrc, std::int32_t cxSrc, std::int32_t cySrc);
void fillBlack(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);
void fullDraw(const Picture& picture);
void pause(std::uint32_t milliseconds);

// Pixel steps in HIMETRIC, computed in double precision in exactly this order and
// truncated. Never below 1, so no loop that advances by a step can stand still.
std::int32_t stepX();                  // trunc((4 / ppmX) * 100)
std::int32_t stepY();
std::int32_t step12X();                // trunc((12 / ppmX) * 100)
std::int32_t step12Y();
std::int32_t step1X();                 // trunc((1 / ppmX) * 100)
std::int32_t step1Y();
std::int32_t blindsStep4X();           // trunc(((1 / ppmX) * 4) * 100)
std::int32_t blindsStep4Y();

// One draw of the random generator: a row from 1 to 19, never the random row itself.
std::int32_t randomRow();

void revealRandom(const Picture& picture);
void clearRandom();
void revealNone(const Picture& picture);
void clearNone();

}  // namespace vellora
