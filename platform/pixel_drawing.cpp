#include "platform/pixel_drawing.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <vector>

namespace vellora {
namespace {

constexpr double pi = 3.14159265358979323846;

struct Span {
    std::int64_t from, to;
};

// [from, to) clipped to [0, limit).
Span clipped(std::int64_t from, std::int64_t to, std::int64_t limit) {
    return {std::max<std::int64_t>(from, 0), std::min<std::int64_t>(to, limit)};
}

PixelRect rectOf(Span xs, Span ys) {
    if (xs.to <= xs.from || ys.to <= ys.from) return {};
    return {static_cast<std::int32_t>(xs.from), static_cast<std::int32_t>(ys.from), static_cast<std::int32_t>(xs.to),
            static_cast<std::int32_t>(ys.to)};
}

std::uint32_t& pixelAt(SurfaceView s, std::int64_t x, std::int64_t y) {
    return s.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(s.width) + static_cast<std::size_t>(x)];
}

// Angle of a point seen from the centre, counter-clockwise on screen (y grows downward).
double screenAngle(double dx, double dy) { return std::atan2(-dy, dx); }

double counterClockwiseFrom(double start, double angle) {
    double turn = std::fmod(angle - start, 2 * pi);
    return turn < 0 ? turn + 2 * pi : turn;
}

// Distance from p to the segment from the origin to e.
double distanceToSegment(double px, double py, double ex, double ey) {
    const double length2 = ex * ex + ey * ey;
    double t = length2 > 0 ? (px * ex + py * ey) / length2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(px - t * ex, py - t * ey);
}

// Where the ray from the centre through (dx, dy) leaves the ellipse.
void ellipseEdge(double dx, double dy, double rx, double ry, double& ex, double& ey) {
    const double scale = std::sqrt((dx * dx) / (rx * rx) + (dy * dy) / (ry * ry));
    ex = scale > 0 ? dx / scale : rx;
    ey = scale > 0 ? dy / scale : 0;
}

}  // namespace

std::int32_t himetricFromPixels(std::int32_t pixels) {
    const std::int64_t himetric = (static_cast<std::int64_t>(pixels) * 2540 + 48) / 96;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(himetric, INT32_MIN, INT32_MAX));
}

PixelRect fillPixels(SurfaceView surface, std::int32_t left, std::int32_t top, std::int32_t right,
                     std::int32_t bottom, std::uint32_t colour) {
    const Span xs = clipped(left, right, surface.width), ys = clipped(top, bottom, surface.height);
    for (std::int64_t y = ys.from; y < ys.to; ++y)
        std::fill(&pixelAt(surface, xs.from, y), &pixelAt(surface, xs.from, y) + std::max<std::int64_t>(xs.to - xs.from, 0),
                  colour);
    return rectOf(xs, ys);
}

PixelRect renderPicture(SurfaceView surface, const SourcePixels& picture, std::int32_t x, std::int32_t y,
                        std::int32_t cx, std::int32_t cy, std::int32_t xSrc, std::int32_t ySrc, std::int32_t cxSrc,
                        std::int32_t cySrc) {
    const double pw = picture.widthHimetric, ph = picture.heightHimetric;
    if (cx <= 0 || cy <= 0 || pw <= 0 || ph <= 0 || picture.width <= 0 || picture.height <= 0) return {};
    const Span xs = clipped(x, static_cast<std::int64_t>(x) + cx, surface.width);
    const Span ys = clipped(y, static_cast<std::int64_t>(y) + cy, surface.height);
    if (xs.to <= xs.from || ys.to <= ys.from) return {};

    // Source column of each destination column; -1 where the source lies outside.
    std::vector<std::int32_t> column(static_cast<std::size_t>(xs.to - xs.from));
    for (std::int64_t dx = xs.from; dx < xs.to; ++dx) {
        const double himetric = xSrc + cxSrc * ((dx - x + 0.5) / cx);
        const double col = std::floor(himetric * picture.width / pw);
        column[static_cast<std::size_t>(dx - xs.from)] = col >= 0 && col < picture.width ? static_cast<std::int32_t>(col) : -1;
    }
    const bool wholeRows = std::all_of(column.begin(), column.end(), [](std::int32_t c) { return c >= 0; });
    // At natural size a row is one run of consecutive source pixels, copied at memory speed.
    bool oneRun = wholeRows;
    for (std::size_t i = 1; oneRun && i < column.size(); ++i) oneRun = column[i] == column[0] + static_cast<std::int32_t>(i);
    for (std::int64_t dy = ys.from; dy < ys.to; ++dy) {
        const double fromBottom = ySrc + cySrc * ((dy - y + 0.5) / cy);
        const double row = std::floor((ph - fromBottom) * picture.height / ph);
        if (row < 0 || row >= picture.height) continue;
        const std::uint32_t* source = picture.pixels + static_cast<std::size_t>(row) * static_cast<std::size_t>(picture.width);
        std::uint32_t* target = &pixelAt(surface, xs.from, dy);
        if (oneRun) {
            std::memcpy(target, source + column[0], column.size() * sizeof(std::uint32_t));
        } else if (wholeRows) {
            for (std::size_t i = 0; i < column.size(); ++i) target[i] = source[column[i]];
        } else {
            for (std::size_t i = 0; i < column.size(); ++i)
                if (column[i] >= 0) target[i] = source[column[i]];
        }
    }
    return rectOf(xs, ys);
}

PixelRect piePixels(SurfaceView surface, std::int32_t left, std::int32_t top, std::int32_t right,
                    std::int32_t bottom, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
                    std::uint32_t colour) {
    const double cxm = (static_cast<double>(left) + right) / 2, cym = (static_cast<double>(top) + bottom) / 2;
    const double rx = (static_cast<double>(right) - left) / 2, ry = (static_cast<double>(bottom) - top) / 2;
    if (rx <= 0 || ry <= 0) return {};
    const double d1x = x1 - cxm, d1y = y1 - cym, d2x = x2 - cxm, d2y = y2 - cym;
    const double start = screenAngle(d1x, d1y);
    const bool whole = x1 == x2 && y1 == y2;
    double sweep = counterClockwiseFrom(start, screenAngle(d2x, d2y));
    if (sweep == 0) sweep = 2 * pi;
    double e1x, e1y, e2x, e2y;
    ellipseEdge(d1x, d1y, rx, ry, e1x, e1y);
    ellipseEdge(d2x, d2y, rx, ry, e2x, e2y);

    const Span xs = clipped(left, right, surface.width), ys = clipped(top, bottom, surface.height);
    for (std::int64_t py = ys.from; py < ys.to; ++py)
        for (std::int64_t px = xs.from; px < xs.to; ++px) {
            const double ox = px + 0.5 - cxm, oy = py + 0.5 - cym;
            const double nx = ox / rx, ny = oy / ry;
            if (nx * nx + ny * ny > 1.0) continue;
            const bool inWedge = whole || counterClockwiseFrom(start, screenAngle(ox, oy)) <= sweep ||
                                 distanceToSegment(ox, oy, e1x, e1y) <= 0.5 ||
                                 distanceToSegment(ox, oy, e2x, e2y) <= 0.5;
            if (inWedge) pixelAt(surface, px, py) = colour;
        }
    return rectOf(xs, ys);
}

}  // namespace vellora
