#include "effects/effects.h"
#include "effects/geometry.h"
#include "slideshow/numeric.h"
#include "slideshow/random.h"

namespace vellora {
namespace {

void fillWhole(const Geometry& g) { fillBlack(g.L, g.T, g.L + g.W, g.T + g.H); }

}  // namespace

void clearEnlarge() {
    const Geometry g = Geometry::current();
    double ratio = 0.0, hRemain = 0.0;
    if (g.W - 4 > 0) {  // with W < 4 the ratio would not be finite; no step uses it then
        ratio = static_cast<double>(g.H) / static_cast<double>(g.W / 4);
        hRemain = static_cast<double>(g.H) - ratio;
    }
    std::int32_t prevLeft = g.L, prevTop = g.T, prevWidth = g.W + 2, prevHeight = g.H;
    for (std::int32_t w = g.W - 4; w > 0; w -= 4) {
        const std::int32_t newLeft = (g.SW - w) / 2;
        const std::int32_t h = trunc32(hRemain);
        const std::int32_t newTop = (g.SH - h) / 2;
        fillBlack(prevLeft, g.T, newLeft, g.T + g.H);
        fillBlack(newLeft + w, g.T, prevLeft + prevWidth, g.T + g.H);
        fillBlack(g.L, prevTop, g.L + g.W, newTop);
        fillBlack(g.L, newTop + h, g.L + g.W, prevTop + prevHeight);
        prevLeft = newLeft, prevTop = newTop, prevWidth = w, prevHeight = h;
        pause(10);
        hRemain -= ratio;
    }
    fillWhole(g);
}

// Line wipes: one pixel line, pause(1), next line; then a final fill.
void clearScanDown() {
    const Geometry g = Geometry::current();
    for (std::int32_t y = g.T + g.H - 1; y > 0; --y) {
        fillBlack(g.L, y, g.L + g.W, y + 1);
        pause(1);
    }
    fillBlack(g.L, g.T - 5, g.L + g.W, g.T + g.H + 5);
}

void clearScanUp() {
    const Geometry g = Geometry::current();
    for (std::int32_t y = g.T; y <= g.T + g.H; ++y) {
        fillBlack(g.L, y, g.L + g.W, y + 1);
        pause(1);
    }
    fillWhole(g);
}

void clearScanRight() {
    const Geometry g = Geometry::current();
    for (std::int32_t x = g.L + g.W - 1; x > g.L; --x) {
        fillBlack(x, g.T - 5, x + 1, g.T + g.H + 5);
        pause(1);
    }
    fillBlack(g.L, g.T - 5, g.L + g.W, g.T + g.H + 5);
}

void clearScanLeft() {
    const Geometry g = Geometry::current();
    for (std::int32_t x = g.L; x <= g.L + g.W; ++x) {
        fillBlack(x, g.T, x + 1, g.T + g.H);
        pause(1);
    }
    fillWhole(g);
}

// Closing lines: a near and a far line per step, meeting in the middle.
void clearSplitHorizontal() {
    const Geometry g = Geometry::current();
    for (std::int32_t k = 0; k <= g.W / 2; ++k) {
        fillBlack(g.L + k, g.T, g.L + k + 1, g.T + g.H);
        fillBlack(g.L + g.W - 1 - k, g.T, g.L + g.W - k, g.T + g.H);
        pause(1);
    }
}

void clearSplitVertical() {
    const Geometry g = Geometry::current();
    for (std::int32_t k = 0; k <= g.H / 2 + 2; ++k) {
        fillBlack(g.L, g.T - 2 + k, g.L + g.W, g.T - 1 + k);
        fillBlack(g.L, g.T + g.H - 1 - k, g.L + g.W, g.T + g.H - k);
        pause(1);
    }
}

void clearMosaic() {
    const Geometry g = Geometry::current();
    const std::int32_t cols = (g.W - 1) / 4 + 1, rows = (g.H - 1) / 4 + 1;
    const std::int32_t count = 3 * cols * rows;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::int32_t c = drawRandom() % cols;
        const std::int32_t r = drawRandom() % rows;
        fillBlack(g.L + 4 * c, g.T + 4 * r, g.L + 4 * c + 4, g.T + 4 * r + 4);
        pause(0);
    }
    fillWhole(g);
}

void clearMoveDown() {
    const Geometry g = Geometry::current();
    const double ratio = g.W == 0 ? 0.0 : static_cast<double>(g.H) / static_cast<double>(g.W);
    const std::int32_t cx = g.L + g.W / 2, cy = g.T + g.H / 2;
    for (std::int32_t i = 0; i <= g.W / 2 + 4; ++i) {
        const std::int32_t d = trunc32(i * ratio);
        fillBlack(cx - i, cy - d, cx + i, cy + d);
        pause(0);
    }
    // The last rectangle can stop a row short of a wide, low picture's bottom.
    fillWhole(g);
    pause(100);
}

void clearMoveUp() {
    const Geometry g = Geometry::current();
    const std::int32_t n = (g.W - 1) / 8 + 1;
    auto stripeLeft = [&](std::int32_t c) { return g.L + 8 * c; };
    for (std::int32_t y = g.T; y <= g.T + g.H; y += 12) {
        for (std::int32_t c = 0; c < n; c += 2) fillBlack(stripeLeft(c), y, stripeLeft(c) + 8, y + 12);
        pause(1);
    }
    for (std::int32_t y = g.T + g.H - 4; y >= g.T - 8; y -= 8) {
        for (std::int32_t c = 1; c < n; c += 2) fillBlack(stripeLeft(c), y, stripeLeft(c) + 8, y + 8);
        pause(1);
    }
}

void clearMoveRight() {
    const Geometry g = Geometry::current();
    std::int32_t left = g.L, top = g.T, right = g.L + g.W, bottom = g.T + g.H;
    const std::int32_t m = g.W < g.H ? g.W : g.H;
    const std::int32_t laps = (m / 2 - 1) / 40 + 1;
    bool laidTile = false;
    auto tile = [&](std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b) {
        fillBlack(l, t, r, b);
        pause(1);
        laidTile = true;
    };
    for (std::int32_t lap = 0; lap < laps; ++lap) {
        const std::int32_t bandTop = top;
        top += 40;
        for (std::int32_t x = left; x < right; x += 24) tile(x, bandTop, x + 24, bandTop + 40);
        right -= 40;
        for (std::int32_t y = top; y < bottom; y += 24) tile(right, y, right + 40, y + 24);
        bottom -= 40;
        for (std::int32_t x = right; x > left; x -= 24) tile(x - 24, bottom, x, bottom + 40);
        const std::int32_t bandLeft = left;
        left += 40;
        for (std::int32_t y = bottom; y > top; y -= 24) tile(bandLeft, y - 24, bandLeft + 40, y);
    }
    // Odd sides of 81, 161, ... pixels leave a middle line that no tile reaches.
    if (laidTile) fillWhole(g);
}

void clearMoveLeft() {
    const Geometry g = Geometry::current();
    slideState().hdc->selectBlackBrush();
    const std::int32_t cx = g.L + g.W / 2, cy = g.T + g.H / 2;
    const std::int32_t m = g.W > g.H ? g.W : g.H;
    const std::int32_t n = trunc32(m * 0.70711 + 1.0);
    for (std::int32_t k = 0; k < n; ++k) {
        const std::int32_t left = cx - 1 - k, top = cy - 1 - k;
        slideState().hdc->pie(left, top, cx + 1 + k, cy + 1 + k, left, top, left, top);
        pause(0);
    }
}

// Cross wipes: 3-pixel lines in the two halves, moving in opposite directions.
void clearCrossHorizontal() {
    const Geometry g = Geometry::current();
    const std::int32_t mid = g.T + g.H / 2;
    for (std::int32_t off = 0; off < g.W; off += 3) {
        fillBlack(g.L + off, g.T, g.L + off + 3, mid);
        fillBlack(g.L + g.W - off - 3, mid, g.L + g.W - off, g.T + g.H);
        pause(1);
    }
}

void clearCrossVertical() {
    const Geometry g = Geometry::current();
    const std::int32_t mid = g.L + g.W / 2;
    for (std::int32_t off = 0; off < g.H; off += 3) {
        fillBlack(g.L, g.T + off, mid, g.T + off + 3);
        fillBlack(mid, g.T + g.H - off - 3, g.L + g.W, g.T + g.H - off);
        pause(1);
    }
}

void clearBlindsHorizontal() {
    const Geometry g = Geometry::current();
    const std::int32_t slats = (g.H - 1) / 80 + 1;
    for (std::int32_t i = 0; i < 80; ++i) {
        for (std::int32_t j = 0; j < slats; ++j) fillBlack(g.L, g.T + 80 * j + i, g.L + g.W, g.T + 80 * j + i + 1);
        pause(1);
    }
}

void clearBlindsVertical() {
    const Geometry g = Geometry::current();
    const std::int32_t slats = (g.W - 1) / 80 + 1;
    for (std::int32_t i = 0; i < 80; ++i) {
        for (std::int32_t j = 0; j < slats; ++j) fillBlack(g.L + 80 * j + i, g.T, g.L + 80 * j + i + 1, g.T + g.H);
        pause(1);
    }
}

void clearBarsHorizontal() {
    const Geometry g = Geometry::current();
    const std::int32_t bars = (g.H - 1) / 12 + 1;
    for (std::int32_t off = 0; off < g.W; off += 3) {
        for (std::int32_t k = 0; k < bars; k += 2) fillBlack(g.L + off, g.T + 12 * k, g.L + off + 3, g.T + 12 * k + 12);
        for (std::int32_t k = 1; k < bars; k += 2)
            fillBlack(g.L + g.W - off - 3, g.T + 12 * k, g.L + g.W - off, g.T + 12 * k + 12);
        pause(1);
    }
}

void clearBarsVertical() {
    const Geometry g = Geometry::current();
    const std::int32_t bars = (g.W - 1) / 12 + 1;
    for (std::int32_t off = 0; off < g.H; off += 3) {
        for (std::int32_t k = 0; k < bars; k += 2) fillBlack(g.L + 12 * k, g.T + off, g.L + 12 * k + 12, g.T + off + 3);
        for (std::int32_t k = 1; k < bars; k += 2)
            fillBlack(g.L + 12 * k, g.T + g.H - off - 3, g.L + 12 * k + 12, g.T + g.H - off);
        pause(1);
    }
}

}  // namespace vellora
