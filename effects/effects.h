// The reveal and clear operations of catalogue rows 2 to 19.
#pragma once

#include "effects/catalogue.h"

namespace vellora {

void revealEnlarge(const Picture& picture);
void revealScanDown(const Picture& picture);
void revealScanUp(const Picture& picture);
void revealScanRight(const Picture& picture);
void revealScanLeft(const Picture& picture);
void revealSplitHorizontal(const Picture& picture);
void revealSplitVertical(const Picture& picture);
void revealMosaic(const Picture& picture);
void revealMoveDown(const Picture& picture);
void revealMoveUp(const Picture& picture);
void revealMoveRight(const Picture& picture);
void revealMoveLeft(const Picture& picture);
void revealCrossHorizontal(const Picture& picture);
void revealCrossVertical(const Picture& picture);
void revealBlindsHorizontal(const Picture& picture);
void revealBlindsVertical(const Picture& picture);
void revealBarsHorizontal(const Picture& picture);
void revealBarsVertical(const Picture& picture);

void clearEnlarge();
void clearScanDown();
void clearScanUp();
void clearScanRight();
void clearScanLeft();
void clearSplitHorizontal();
void clearSplitVertical();
void clearMosaic();
void clearMoveDown();
void clearMoveUp();
void clearMoveRight();
void clearMoveLeft();
void clearCrossHorizontal();
void clearCrossVertical();
void clearBlindsHorizontal();
void clearBlindsVertical();
void clearBarsHorizontal();
void clearBarsVertical();

}  // namespace vellora
