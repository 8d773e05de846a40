#include "platform/linux/photo_caption.h"

#include <glib.h>
#include <langinfo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>

#include "platform/backdrop.h"

namespace vellora::linux_platform {
namespace {

constexpr const char* separator = "  \u00B7  ";
constexpr std::uint32_t shadowStrength = 200;  // of 255, under the thickest part of the text
constexpr double defaultPixelsPerMm = 96.0 / 25.4;

std::string validUtf8(const std::string& bytes) {
    gchar* valid = g_utf8_make_valid(bytes.data(), static_cast<gssize>(bytes.size()));
    std::string text = valid;
    g_free(valid);
    return text;
}

std::string dateText(const PhotoTime& taken, locale_t time) {
    std::tm when{};
    when.tm_year = taken.year - 1900;
    when.tm_mon = taken.month - 1;
    when.tm_mday = taken.day;
    when.tm_hour = taken.hour;
    when.tm_min = taken.minute;
    when.tm_sec = taken.second;
    char buffer[128];
    const std::size_t length = strftime_l(buffer, sizeof buffer, "%x", &when, time);
    std::string text(buffer, length);
    const char* codeset = nl_langinfo_l(CODESET, time);
    if (codeset && std::strcmp(codeset, "UTF-8") != 0) {
        if (gchar* converted = g_convert(text.data(), static_cast<gssize>(text.size()), "UTF-8", codeset, nullptr,
                                         nullptr, nullptr)) {
            text = converted;
            g_free(converted);
        }
    }
    return validUtf8(text);
}

std::string lastName(const std::string& path) {
    const std::size_t end = path.find_last_not_of('/');
    if (end == std::string::npos) return path.empty() ? path : "/";
    const std::size_t slash = path.rfind('/', end);
    return path.substr(slash == std::string::npos ? 0 : slash + 1, end - (slash == std::string::npos ? 0 : slash + 1) + 1);
}

// The folder of `path` below the folder `source`, its name when the picture lies
// right in it; the file name when the picture is not below it.
std::string placeText(const std::string& path, const std::string& source) {
    const std::size_t kept = source.find_last_not_of('/');
    const std::string root = kept == std::string::npos ? std::string() : source.substr(0, kept + 1);
    const bool below = !source.empty() && source != "-" && path.size() > root.size() + 1 &&
                       path.compare(0, root.size(), root) == 0 && path[root.size()] == '/';
    if (!below) return validUtf8(lastName(path));
    const std::size_t start = path.find_first_not_of('/', root.size());
    const std::size_t slash = path.rfind('/');
    if (start == std::string::npos || slash < start) return validUtf8(root.empty() ? "/" : lastName(root));
    return validUtf8(path.substr(start, slash - start));
}

// The one context every caption is laid out in: its fonts are found once.
PangoContext* captionContext() {
    static PangoContext* context = [] {
        PangoContext* made = pango_font_map_create_context(pango_cairo_font_map_get_default());
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
        pango_cairo_context_set_font_options(made, options);
        cairo_font_options_destroy(options);
        return made;
    }();
    return context;
}

// The line's coverage: one byte a pixel, the text's box `pad` pixels in from each side.
struct Coverage {
    std::int32_t width = 0, height = 0;
    std::vector<std::uint8_t> alpha;
};

Coverage textCoverage(const std::string& utf8, std::int32_t fontPixels, std::int32_t maxWidth, std::int32_t pad) {
    Coverage mask;
    PangoLayout* layout = pango_layout_new(captionContext());
    PangoFontDescription* font = pango_font_description_from_string("Sans");
    pango_font_description_set_absolute_size(font, fontPixels * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);
    pango_font_description_free(font);
    pango_layout_set_single_paragraph_mode(layout, TRUE);
    pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_MIDDLE);
    pango_layout_set_width(layout, maxWidth * PANGO_SCALE);
    pango_layout_set_text(layout, utf8.c_str(), -1);
    PangoRectangle logical{};
    pango_layout_get_pixel_extents(layout, nullptr, &logical);
    mask.width = logical.width + 2 * pad;
    mask.height = logical.height + 2 * pad;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, mask.width, mask.height);
    if (logical.width > 0 && cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
        cairo_t* draw = cairo_create(surface);
        cairo_move_to(draw, pad - logical.x, pad - logical.y);
        pango_cairo_show_layout(draw, layout);
        cairo_destroy(draw);
        cairo_surface_flush(surface);
        const unsigned char* data = cairo_image_surface_get_data(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        mask.alpha.resize(static_cast<std::size_t>(mask.width) * static_cast<std::size_t>(mask.height));
        for (std::int32_t y = 0; y < mask.height; ++y)
            std::memcpy(mask.alpha.data() + static_cast<std::size_t>(y) * mask.width, data + static_cast<std::size_t>(y) * stride,
                        static_cast<std::size_t>(mask.width));
    } else {
        mask = {};
    }
    cairo_surface_destroy(surface);
    g_object_unref(layout);
    return mask;
}

std::uint32_t underShadowAndText(std::uint32_t pixel, std::uint32_t shadow, std::uint32_t text) {
    std::uint32_t result = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        std::uint32_t v = pixel >> shift & 0xFF;
        v = v * (255 - shadow) / 255;
        v += (255 - v) * text / 255;
        result |= v << shift;
    }
    return result;
}

}  // namespace

std::string captionText(const PhotoTime& taken, const std::string& path, const std::string& source, locale_t time) {
    return dateText(taken, time) + separator + placeText(path, source);
}

locale_t sessionTimeLocale() {
    static const locale_t session = [] {
        locale_t made = newlocale(LC_TIME_MASK | LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
        return made ? made : newlocale(LC_TIME_MASK | LC_CTYPE_MASK, "C", static_cast<locale_t>(nullptr));
    }();
    return session;
}

double captionPixelsPerMm(std::int32_t widthPixels, std::int32_t heightPixels, std::int32_t widthMm,
                          std::int32_t heightMm) {
    if (widthPixels <= 0 || heightPixels <= 0 || widthMm <= 0 || heightMm <= 0) return defaultPixelsPerMm;
    const double density = std::hypot(widthPixels, heightPixels) / std::hypot(widthMm, heightMm);
    // Pixels about square, either way round, and from about 40 to 600 per inch;
    // otherwise the display is not telling its size (some give their shape instead).
    const double shape = static_cast<double>(widthPixels) / heightPixels, mmShape = static_cast<double>(widthMm) / heightMm;
    const auto near = [](double a, double b) { return a < b * 1.25 && b < a * 1.25; };
    const bool square = near(shape, mmShape) || near(shape, 1 / mmShape);
    return square && density >= 1.5 && density <= 24 ? density : defaultPixelsPerMm;
}

PixelRect CaptionOverlay::show(SurfaceView surface, const std::string& utf8, double pixelsPerMm) {
    const PixelRect before = takeAway(surface);
    const auto fontPixels = static_cast<std::int32_t>(
        std::clamp(std::lround(captionHeightMm * pixelsPerMm), 9L, std::max(9L, static_cast<long>(surface.height / 8))));
    const std::int32_t margin = fontPixels, blur = std::max(1, fontPixels / 6), drop = std::max(1, fontPixels / 16);
    const std::int32_t pad = 2 * blur + drop;
    const std::int32_t maxWidth = surface.width - 2 * margin;
    if (maxWidth < 4 * fontPixels || surface.height < 3 * fontPixels) return before;
    const Coverage text = textCoverage(utf8, fontPixels, maxWidth, pad);
    if (text.alpha.empty()) return before;
    std::vector<std::uint8_t> shadow(text.alpha);
    blurPlane(shadow.data(), text.width, text.height, text.width, blur, 2);

    const std::int32_t right = surface.width - margin + pad, bottom = surface.height - margin + pad;
    const PixelRect wanted{right - text.width, bottom - text.height, right, bottom};
    rect_ = clip(wanted, surface.width, surface.height);
    if (rect_.empty()) return before;
    under_.clear();
    for (std::int32_t y = rect_.top; y < rect_.bottom; ++y) {
        std::uint32_t* row = surface.pixels + static_cast<std::size_t>(y) * surface.width;
        under_.insert(under_.end(), row + rect_.left, row + rect_.right);
        const std::int32_t my = y - wanted.top;
        for (std::int32_t x = rect_.left; x < rect_.right; ++x) {
            const std::int32_t mx = x - wanted.left;
            const std::uint32_t cover = text.alpha[static_cast<std::size_t>(my) * text.width + mx];
            const std::uint32_t shade =
                my >= drop ? shadow[static_cast<std::size_t>(my - drop) * text.width + mx] * shadowStrength / 255 : 0;
            row[x] = underShadowAndText(row[x], shade, cover);
        }
    }
    return unite(before, rect_);
}

PixelRect CaptionOverlay::takeAway(SurfaceView surface) {
    const PixelRect was = rect_;
    if (was.empty()) return {};
    rect_ = {};
    const std::int32_t width = was.right - was.left;
    if (was.right > surface.width || was.bottom > surface.height) return {};  // a new size: nothing to put back
    for (std::int32_t y = was.top; y < was.bottom; ++y)
        std::memcpy(surface.pixels + static_cast<std::size_t>(y) * surface.width + was.left,
                    under_.data() + static_cast<std::size_t>(y - was.top) * width, static_cast<std::size_t>(width) * 4);
    return was;
}

}  // namespace vellora::linux_platform
