// The show's message boxes as modal GTK message dialogs, with the GBK texts in UTF-8.
#include <gtk/gtk.h>

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

}  // namespace vellora::linux_platform
