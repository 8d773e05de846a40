// The show's message boxes as modal GTK message dialogs, with the GBK texts in UTF-8.
#include <gtk/gtk.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cstring>

#include "platform/gtk/message_box.h"

namespace vellora::linux_platform {
namespace {

constexpr guint watchIntervalMs = 20;

struct OpenDialog {
    GtkWidget* dialog;
    bool (*whileOpen)();
    guint watch;
};

gboolean watchDialog(gpointer data) {
    auto* open = static_cast<OpenDialog*>(data);
    if (open->whileOpen()) return G_SOURCE_CONTINUE;
    open->watch = 0;
    gtk_dialog_response(GTK_DIALOG(open->dialog), GTK_RESPONSE_CANCEL);
    return G_SOURCE_REMOVE;
}

bool toolkitReady(void (*onToolkitStarted)()) {
    static int state = 0;  // 0 untried, 1 ready, 2 unavailable
    if (state == 0) {
        state = gtk_init_check(nullptr, nullptr) ? 1 : 2;
        if (onToolkitStarted) onToolkitStarted();
    }
    return state == 1;
}

}  // namespace

void runMessageDialog(const std::string& textUtf8, const std::string& captionUtf8, bool (*whileOpen)(),
                      void (*onToolkitStarted)()) {
    if (!toolkitReady(onToolkitStarted)) return;
    GtkWidget* dialog =
        gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER, GTK_BUTTONS_OK, "%s", textUtf8.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), captionUtf8.c_str());
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    OpenDialog open{dialog, whileOpen, 0};
    open.watch = g_timeout_add(watchIntervalMs, watchDialog, &open);
    gtk_dialog_run(GTK_DIALOG(dialog));
    if (open.watch) g_source_remove(open.watch);
    gtk_widget_destroy(dialog);
    // Let the toolkit take the dialog off the screen before the show goes on.
    while (gtk_events_pending()) gtk_main_iteration();
}

TextImage renderMessageText(const std::string& utf8, std::int32_t maxWidth, std::int32_t maxHeight) {
    constexpr int margin = 16;
    TextImage image;
    if (maxWidth <= 2 * margin || maxHeight <= 2 * margin) return image;
    cairo_surface_t* measuring = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
    cairo_t* measure = cairo_create(measuring);
    PangoLayout* layout = pango_cairo_create_layout(measure);
    PangoFontDescription* font = pango_font_description_from_string("Sans 14");
    pango_layout_set_font_description(layout, font);
    pango_font_description_free(font);
    pango_layout_set_width(layout, (maxWidth - 2 * margin) * PANGO_SCALE);
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER);
    pango_layout_set_text(layout, utf8.c_str(), -1);
    PangoRectangle ink{}, logical{};
    pango_layout_get_pixel_extents(layout, &ink, &logical);
    image.width = std::clamp(logical.width + 2 * margin, 1, maxWidth);
    image.height = std::clamp(logical.height + 2 * margin, 1, maxHeight);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, image.width, image.height);
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
        cairo_t* draw = cairo_create(surface);
        cairo_set_source_rgb(draw, 0, 0, 0);
        cairo_paint(draw);
        cairo_set_source_rgb(draw, 1, 1, 1);
        cairo_move_to(draw, margin - logical.x, margin - logical.y);
        pango_cairo_update_layout(draw, layout);
        pango_cairo_show_layout(draw, layout);
        cairo_destroy(draw);
        cairo_surface_flush(surface);
        // RGB24 keeps each pixel in a 32-bit word as 0x??RRGGBB.
        const unsigned char* data = cairo_image_surface_get_data(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        image.pixels.resize(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height));
        for (std::int32_t y = 0; y < image.height; ++y) {
            std::uint32_t* row = image.pixels.data() + static_cast<std::size_t>(y) * image.width;
            std::memcpy(row, data + static_cast<std::size_t>(y) * stride, static_cast<std::size_t>(image.width) * 4);
            for (std::int32_t x = 0; x < image.width; ++x) row[x] &= 0xFFFFFF;
        }
    } else {
        image = {};
    }
    cairo_surface_destroy(surface);
    g_object_unref(layout);
    cairo_destroy(measure);
    cairo_surface_destroy(measuring);
    return image;
}

}  // namespace vellora::linux_platform
