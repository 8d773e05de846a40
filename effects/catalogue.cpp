#include "effects/catalogue.h"

#include "effects/effects.h"
#include "resources/gbk_text.h"
#include "slideshow/numeric.h"
#include "slideshow/random.h"
#include "slideshow/slide_state.h"

namespace vellora {

const EffectEntry effectCatalogue[effectCount] = {
    {gbk::effectNames[0], revealRandom, clearRandom},
    {gbk::effectNames[1], revealNone, clearNone},
    {gbk::effectNames[2], revealEnlarge, clearEnlarge},
    {gbk::effectNames[3], revealScanDown, clearScanDown},
    {gbk::effectNames[4], revealScanUp, clearScanUp},
    {gbk::effectNames[5], revealScanRight, clearScanRight},
    {gbk::effectNames[6], revealScanLeft, clearScanLeft},
    {gbk::effectNames[7], revealSplitHorizontal, clearSplitHorizontal},
    {gbk::effectNames[8], revealSplitVertical, clearSplitVertical},
    {gbk::effectNames[9], revealMosaic, clearMosaic},
    {gbk::effectNames[10], revealMoveDown, clearMoveDown},
    {gbk::effectNames[11], revealMoveUp, clearMoveUp},
    {gbk::effectNames[12], revealMoveRight, clearMoveRight},
    {gbk::effectNames[13], revealMoveLeft, clearMoveLeft},
    {gbk::effectNames[14], revealCrossHorizontal, clearCrossHorizontal},
    {gbk::effectNames[15], revealCrossVertical, clearCrossVertical},
    {gbk::effectNames[16], revealBlindsHorizontal, clearBlindsHorizontal},
    {gbk::effectNames[17], revealBlindsVertical, clearBlindsVertical},
    {gbk::effectNames[18], revealBarsHorizontal, clearBarsHorizontal},
    {gbk::effectNames[19], revealBarsVertical, clearBarsVertical},
};

const EffectEntry& catalogueRow(std::int32_t effectIndex) {
    if (effectIndex < 0 || effectIndex >= effectCount) return effectCatalogue[0];
    return effectCatalogue[effectIndex];
}

void renderPart(const Picture& picture, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy,
                std::int32_t xSrc, std::int32_t ySrc, std::int32_t cxSrc, std::int32_t cySrc) {
    picture.renderTo(*slideState().hdc, x, y, cx, cy, xSrc, ySrc, cxSrc, cySrc);
}

void fillBlack(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
    slideState().hdc->fillBlack(left, top, right, bottom);
}

void fullDraw(const Picture& picture) {
    const SlideState& s = slideState();
    renderPart(picture, s.drawLeft, s.drawTop, s.drawWidth, s.drawHeight, 0, s.pictureHeight, s.pictureWidth,
               -s.pictureHeight);
}

void pause(std::uint32_t milliseconds) { platform().clock->sleep(milliseconds); }

namespace {
std::int32_t atLeastOne(double himetric) {
    std::int32_t step = trunc32(himetric);
    return step < 1 ? 1 : step;
}
double ppmX() { return slideState().pixelsPerMmX; }
double ppmY() { return slideState().pixelsPerMmY; }
}  // namespace

std::int32_t stepX() { return atLeastOne((4.0 / ppmX()) * 100.0); }
std::int32_t stepY() { return atLeastOne((4.0 / ppmY()) * 100.0); }
std::int32_t step12X() { return atLeastOne((12.0 / ppmX()) * 100.0); }
std::int32_t step12Y() { return atLeastOne((12.0 / ppmY()) * 100.0); }
std::int32_t step1X() { return atLeastOne((1.0 / ppmX()) * 100.0); }
std::int32_t step1Y() { return atLeastOne((1.0 / ppmY()) * 100.0); }
std::int32_t blindsStep4X() { return atLeastOne(((1.0 / ppmX()) * 4.0) * 100.0); }
std::int32_t blindsStep4Y() { return atLeastOne(((1.0 / ppmY()) * 4.0) * 100.0); }

std::int32_t randomRow() { return drawRandom() % 19 + 1; }

void revealRandom(const Picture& picture) { effectCatalogue[randomRow()].reveal(picture); }
void clearRandom() { effectCatalogue[randomRow()].clear(); }

void revealNone(const Picture& picture) { fullDraw(picture); }

void clearNone() {
    const SlideState& s = slideState();
    fillBlack(s.drawLeft, s.drawTop, s.drawLeft + s.drawWidth, s.drawTop + s.drawHeight);
    pause(1000);
}

}  // namespace vellora
