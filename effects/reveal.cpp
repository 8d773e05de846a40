#include "effects/effects.h"
#include "effects/geometry.h"
#include "effects/pacing.h"
#include "slideshow/numeric.h"
#include "slideshow/random.h"

namespace vellora {
namespace {

// The whole picture at full size with its top-left corner at (x, y).
void renderWhole(const Picture& p, const Geometry& g, std::int32_t x, std::int32_t y) {
    renderPart(p, x, y, g.W, g.H, 0, g.PH, g.PW, -g.PH);
}

}  // namespace

void revealEnlarge(const Picture& p) {
    const Geometry g = Geometry::current();
    if (g.W > 4) {
        const std::int32_t q = g.W / 4;
        const double ratio = static_cast<double>(g.H) / static_cast<double>(q);
        double acc = ratio;
        for (std::int32_t w = 4; w < g.W; w += 4, acc += ratio) {
            const PacedFrame frame;
            const std::int32_t h = trunc32(acc);
            renderPart(p, (g.SW - w) / 2, (g.SH - h) / 2, w, h, 0, g.PH, g.PW, -g.PH);
            frame.end();
        }
    }
    fullDraw(p);
}

void revealScanDown(const Picture& p) {
    const Geometry g = Geometry::current();
    const std::int32_t s = stepY();
    for (std::int32_t y = g.T, ySrc = g.PH; ySrc >= s; y += 4, ySrc -= s) {
        renderPart(p, g.L, y, g.W, 4, 0, ySrc, g.PW, -s);
        pause(10);
    }
    fullDraw(p);
}

void revealScanUp(const Picture& p) {
    const Geometry g = Geometry::current();
    const std::int32_t s = stepY();
    for (std::int32_t y = g.T + g.H - 4, done = 0; done <= g.PH - s; y -= 4) {
        done += s;
        renderPart(p, g.L, y, g.W, 4, 0, done, g.PW, -s);
        pause(10);
    }
    fullDraw(p);
}

void revealScanRight(const Picture& p) {
    const Geometry g = Geometry::current();
    const std::int32_t s = stepX();
    for (std::int32_t x = g.L, xSrc = 0; xSrc <= g.PW - s; x += 4, xSrc += s) {
        renderPart(p, x, g.T, 4, g.H, xSrc, g.PH, s, -g.PH);
        pause(10);
    }
    fullDraw(p);
}

void revealScanLeft(const Picture& p) {
    const Geometry g = Geometry::current();
    const std::int32_t s = stepX();
    for (std::int32_t x = g.L + g.W - 4, xSrc = g.PW - s; xSrc > 0; x -= 4, xSrc -= s) {
        renderPart(p, x, g.T, 4, g.H, xSrc, g.PH, s, -g.PH);
        pause(10);
    }
    fullDraw(p);
}

void revealSplitHorizontal(const Picture& p) {
    const Geometry g = Geometry::current();
    const std::int32_t s = stepX();
    std::int32_t rightX = g.L + g.W / 2, rightSrc = g.PW / 2;
    std::int32_t leftX = rightX - 4, leftSrc = g.PW / 2 - s;
    while (leftSrc > 0) {
        pause(10);
        renderPart(p, leftX, g.T, 4, g.H, leftSrc, g.PH, s, -g.PH);
        renderPart(p, rightX, g.T, 4, g.H, rightSrc, g.PH, s, -g.PH);
        rightX += 4;
        leftSrc -= s;
        rightSrc += s;
        leftX -= 4;
    }
    fullDraw(p);
}

void revealSplitVertical(const Picture& p) {
    const Geometry g = Geometry::current();
    const std::int32_t s = stepY();
    const std::int32_t mid = g.T + g.H / 2;
    std::int32_t yA = mid - 4, srcA = g.PH / 2 + s;
    std::int32_t yB = mid, srcB = g.PH / 2;
    while (srcA > 0) {
        pause(10);
        renderPart(p, g.L, yA, g.W, 4, 0, srcA, g.PW, -s);
        renderPart(p, g.L, yB, g.W, 4, 0, srcB, g.PW, -s);
        srcA -= s;
        yB -= 4;
        srcB += s;
        yA += 4;
    }
    fullDraw(p);
}

void revealMosaic(const Picture& p) {
    const Geometry g = Geometry::current();
    const std::int32_t sy = stepY(), sx = stepX();
    const std::int32_t cols = (g.W - 1) / 4 + 1, rows = (g.H - 1) / 4 + 1;
    const std::int32_t n = cols * rows * 3;
    auto drawCell = [&] {
        const std::int32_t c = drawRandom() % cols;
        const std::int32_t r = drawRandom() % rows;
        renderPart(p, g.L + 4 * c, g.T + 4 * r, 4, 4, c * sx, g.PH - r * sy, sx, -sy);
    };
    if (pacedTransitions()) {
        // Batch b (from 1) ends at cell n × b / 120, so the batches differ by one cell at most.
        std::int64_t drawn = 0;
        for (std::int64_t batch = 1; n > 0 && batch <= mosaicBatches; ++batch) {
            for (const std::int64_t end = n * batch / mosaicBatches; drawn < end; ++drawn) drawCell();
            pause(mosaicBatchPauseMs);
        }
    } else {
        for (std::int32_t i = 0; i < n; ++i) {
            drawCell();
            pause(0);
        }
    }
    fullDraw(p);
    fillBlack(g.L + g.W, g.T, g.L + g.W + 10, g.T + g.H + 10);
    fillBlack(g.L, g.T + g.H, g.L + g.W + 10, g.T + g.H + 10);
}

// Moving pictures advance 4 pixels a frame, 8 when large across the motion.
void revealMoveDown(const Picture& p) {
    const Geometry g = Geometry::current();
    const std::int32_t step = g.W > g.SW / 2 ? 8 : 4;
    for (std::int32_t y = -g.H; y < g.T; y += step) {
        const PacedFrame frame;
        renderWhole(p, g, g.L, y);
        if (y > 0) fillBlack(g.L, 0, g.L + g.W, y);
        frame.end();
    }
    fullDraw(p);
    fillBlack(g.L, 0, g.L + g.W, g.T);
}

void revealMoveUp(const Picture& p) {
    const Geometry g = Geometry::current();
    const std::int32_t step = g.W > g.SW / 2 ? 8 : 4;
    for (std::int32_t y = g.SH; y > g.T; y -= step) {
        const PacedFrame frame;
        renderWhole(p, g, g.L, y);
        if (y + g.H < g.SH) fillBlack(g.L, y + g.H, g.L + g.W, g.SH);
        frame.end();
    }
    fullDraw(p);
    fillBlack(g.L, g.T + g.H, g.L + g.W, g.SH);
}

void revealMoveRight(const Picture& p) {
    const Geometry g = Geometry::current();
    const std::int32_t step = g.H > g.SH / 2 ? 8 : 4;
    for (std::int32_t x = -g.W; x < g.L; x += step) {
        const PacedFrame frame;
        renderWhole(p, g, x, g.T);
        if (x > 0) fillBlack(0, g.T, x, g.T + g.H);
        frame.end();
    }
    fullDraw(p);
    fillBlack(0, g.T, g.L, g.T + g.H);
}

void revealMoveLeft(const Picture& p) {
    const Geometry g = Geometry::current();
    const std::int32_t step = g.H > g.SH / 2 ? 8 : 4;
    for (std::int32_t x = g.SW; x > g.L; x -= step) {
        const PacedFrame frame;
        renderWhole(p, g, x, g.T);
        if (x + g.W < g.SW) fillBlack(x + g.W, g.T, g.SW, g.T + g.H);
        frame.end();
    }
    fullDraw(p);
    fillBlack(g.L + g.W, g.T, g.SW, g.T + g.H);
}

void revealCrossHorizontal(const Picture& p) {
    const Geometry g = Geometry::current();
    const std::int32_t step = g.H > g.SH / 2 ? 8 : 4;
    const std::int32_t mid = g.T + g.H / 2;
    for (std::int32_t xa = -g.W, xb = g.SW; xa < g.L || xb > g.L; xa += step, xb -= step) {
        const PacedFrame frame;
        renderPart(p, xa, g.T, g.W, g.H / 2, 0, g.PH, g.PW, -(g.PH / 2));
        renderPart(p, xb, mid, g.W, g.H / 2, 0, g.PH / 2, g.PW, -(g.PH / 2));
        if (xa > 0) fillBlack(0, g.T, xa, mid + 1);
        if (xb + g.W < g.SW) fillBlack(xb + g.W, mid - 1, g.SW, g.T + g.H);
        frame.end();
    }
    fullDraw(p);
    fillBlack(0, g.T, g.L, mid + 1);
    fillBlack(g.L + g.W, mid - 1, g.SW, g.T + g.H);
}

void revealCrossVertical(const Picture& p) {
    const Geometry g = Geometry::current();
    const std::int32_t step = g.W > g.SW / 2 ? 8 : 4;
    const std::int32_t mid = g.L + g.W / 2;
    for (std::int32_t ya = -g.H, yb = g.SH; ya < g.T || yb > g.T; ya += step, yb -= step) {
        const PacedFrame frame;
        renderPart(p, g.L, ya, g.W / 2, g.H, 0, g.PH, g.PW / 2, -g.PH);
        renderPart(p, mid, yb, g.W / 2, g.H, g.PW / 2, g.PH, g.PW / 2, -g.PH);
        if (ya > 0) fillBlack(g.L, 0, mid + 1, ya);
        if (yb + g.H < g.SH) fillBlack(mid - 1, yb + g.H, g.L + g.W, g.SH);
        frame.end();
    }
    fullDraw(p);
    fillBlack(g.L, 0, mid + 1, g.T);
    fillBlack(mid - 1, g.T + g.H, g.L + g.W, g.SH);
}

// Slats of 80 pixels open together, one pixel line of each per step.
void revealBlindsHorizontal(const Picture& p) {
    const Geometry g = Geometry::current();
    const std::int32_t s1 = step1Y(), s4 = blindsStep4Y();
    const std::int32_t slats = (g.H - 1) / 80 + 1;
    for (std::int32_t i = 0; i < 80; ++i) {
        for (std::int32_t j = 0; j < slats; ++j) {
            const std::int32_t y = g.T + 80 * j + i;
            if (y + 1 < g.T + g.H) renderPart(p, g.L, y, g.W, 1, 0, g.PH - j * 20 * s4 - i * s1, g.PW, -s1);
        }
        pause(1);
    }
    fullDraw(p);
}

void revealBlindsVertical(const Picture& p) {
    const Geometry g = Geometry::current();
    const std::int32_t s1 = step1X(), s4 = blindsStep4X();
    const std::int32_t slats = (g.W - 1) / 80 + 1;
    for (std::int32_t i = 0; i < 80; ++i) {
        for (std::int32_t j = 0; j < slats; ++j) {
            const std::int32_t x = g.L + 80 * j + i;
            if (x + 1 < g.L + g.W) renderPart(p, x, g.T, 1, g.H, i * s1 + j * 20 * s4, g.PH, s1, -g.PH);
        }
        pause(1);
    }
    fullDraw(p);
}

// 12-pixel bars: even ones slide in from one side, odd ones from the other.
void revealBarsHorizontal(const Picture& p) {
    const Geometry g = Geometry::current();
    const std::int32_t s12 = step12Y();
    const std::int32_t bars = (g.H - 1) / 12 + 1;
    const std::int32_t step = g.W > g.SW / 2 && g.H > g.SH / 2 ? 48 : 24;
    for (std::int32_t xa = -g.W, xb = g.SW; xa < g.L || xb > g.L; xa += step, xb -= step) {
        const PacedFrame frame;
        for (std::int32_t first : {0, 1}) {
            for (std::int32_t k = first; k < bars; k += 2) {
                const std::int32_t y = g.T + 12 * k;
                if (y + 12 < g.T + g.H) renderPart(p, first == 0 ? xa : xb, y, g.W, 12, 0, g.PH - k * s12, g.PW, -s12);
            }
        }
        if (xa > 0) fillBlack(0, g.T, xa, g.T + g.H);
        if (xb + g.W < g.SW) fillBlack(xb + g.W, g.T, g.SW, g.T + g.H);
        frame.end();
    }
    fullDraw(p);
    fillBlack(0, g.T, g.L, g.T + g.H);
    fillBlack(g.L + g.W, g.T, g.SW, g.T + g.H);
}

void revealBarsVertical(const Picture& p) {
    const Geometry g = Geometry::current();
    const std::int32_t s12 = step12X();
    const std::int32_t bars = (g.W - 1) / 12 + 1;
    const std::int32_t step = g.W > g.SW / 2 ? 48 : 24;
    for (std::int32_t ya = -g.H, yb = g.SH; ya < g.T || yb > g.T; ya += step, yb -= step) {
        const PacedFrame frame;
        for (std::int32_t first : {0, 1}) {
            for (std::int32_t k = first; k < bars; k += 2) {
                const std::int32_t x = g.L + 12 * k;
                if (x + 12 < g.L + g.W) renderPart(p, x, first == 0 ? ya : yb, 12, g.H, k * s12, g.PH, s12, -g.PH);
            }
        }
        if (ya > 0) fillBlack(g.L, 0, g.L + g.W, ya);
        if (yb + g.H < g.SH) fillBlack(g.L, yb + g.H, g.L + g.W, g.SH);
        frame.end();
    }
    fullDraw(p);
    fillBlack(g.L, 0, g.L + g.W, g.T);
    fillBlack(g.L, g.T + g.H, g.L + g.W, g.SH);
}

}  // namespace vellora
