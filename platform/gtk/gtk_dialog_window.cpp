// The window of the GTK settings dialog: the controls of template 2003 in template
// order, placed by their dialog units, with the keyboard of a Windows dialog.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

#include "dialog/settings_dialog.h"
#include "platform/gtk/gtk_dialog_internal.h"
#include "platform/linux/dialog_text.h"
#include "platform/linux/program_text.h"
#include "resources/gbk_text.h"

namespace vellora::linux_platform {
namespace {

constexpr int templateWidth = 272, templateHeight = 84;
// The template's combo box height includes its drop-down list; the closed box is
// as high as the edit fields.
constexpr int closedComboHeight = 12;

const ControlLayout settingsTemplate[] = {
    {idOk, ControlKind::defaultButton, gbk::dialog::ok, 217, 15, 50, 14},
    {idCancel, ControlKind::pushButton, gbk::dialog::cancel, 217, 55, 50, 14},
    {-1, ControlKind::label, gbk::dialog::imageList, 10, 14, 52, 9},
    {idImageList, ControlKind::edit, "", 66, 12, 136, 12},
    {-1, ControlKind::label, gbk::dialog::delay, 10, 37, 52, 10},
    {idDelay, ControlKind::numberEdit, "", 66, 34, 36, 13},
    {-1, ControlKind::label, gbk::dialog::seconds, 107, 36, 14, 10},
    {-1, ControlKind::label, gbk::dialog::effect, 10, 59, 52, 10},
    {idEffect, ControlKind::comboBox, "", 66, 56, 136, closedComboHeight},
    {-1, ControlKind::groupBox, "", 5, 0, 208, 79},
    {idRandom, ControlKind::checkBox, gbk::dialog::randomOrder, 129, 35, 78, 11},
    // Linux's own: the desktop's file chooser for the path, in the group box's margin.
    {chooserId, ControlKind::chooser, "...", 203, 12, 9, 12},
};

// GTK's themes give fields and buttons generous padding; a dialog laid out in
// dialog units wants the compact ones of the platform the template was drawn for.
const char compactStyle[] = "entry, button { min-height: 0; padding-top: 1px; padding-bottom: 1px; }"
                            " button.vellora-chooser { min-width: 0; padding-left: 0; padding-right: 0; }";

bool takesTabStop(ControlKind kind) {
    return kind != ControlKind::label && kind != ControlKind::groupBox;
}

GtkWidget* makeWidget(const ControlLayout& layout) {
    const std::string text = text::shownFromGbk(layout.text);
    switch (layout.kind) {
    case ControlKind::chooser: {
        GtkWidget* button = gtk_button_new_with_label("\u2026");
        gtk_style_context_add_class(gtk_widget_get_style_context(button), "vellora-chooser");
        const char* name = text::tr("Choose a folder or an image list file");
        gtk_widget_set_tooltip_text(button, name);
        atk_object_set_name(gtk_widget_get_accessible(button), name);
        return button;
    }
    case ControlKind::defaultButton:
    case ControlKind::pushButton:
        return gtk_button_new_with_label(text.c_str());
    case ControlKind::label: {
        GtkWidget* label = gtk_label_new(text.c_str());
        gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
        return label;
    }
    case ControlKind::edit:
    case ControlKind::numberEdit: {
        GtkWidget* entry = gtk_entry_new();
        gtk_entry_set_width_chars(GTK_ENTRY(entry), 1);
        gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
        return entry;
    }
    case ControlKind::comboBox: {
        GtkWidget* combo = gtk_combo_box_text_new_with_entry();
        GtkWidget* entry = gtk_bin_get_child(GTK_BIN(combo));
        gtk_entry_set_width_chars(GTK_ENTRY(entry), 1);
        gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
        return combo;
    }
    case ControlKind::groupBox:
        return gtk_frame_new(nullptr);
    case ControlKind::checkBox:
        return gtk_check_button_new_with_label(text.c_str());
    }
    return nullptr;
}

void applyStyle(GtkWidget* widget, gpointer provider) {
    gtk_style_context_add_provider(gtk_widget_get_style_context(widget), GTK_STYLE_PROVIDER(provider),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    if (GTK_IS_CONTAINER(widget)) gtk_container_forall(GTK_CONTAINER(widget), applyStyle, provider);
}

// Like ES_NUMBER: typed or pasted text keeps only its digits.
void keepDigits(GtkEditable* editable, gchar* inserted, gint length, gint* position, gpointer data) {
    auto* control = static_cast<DialogControl*>(data);
    if (control->settingText) return;
    const std::size_t size = length < 0 ? std::strlen(inserted) : static_cast<std::size_t>(length);
    std::string digits;
    std::copy_if(inserted, inserted + size, std::back_inserter(digits), [](char c) { return c >= '0' && c <= '9'; });
    if (digits.size() == size) return;
    g_signal_stop_emission_by_name(editable, "insert-text");
    gtk_widget_error_bell(GTK_WIDGET(editable));
    if (digits.empty()) return;
    control->settingText = true;
    gtk_editable_insert_text(editable, digits.c_str(), static_cast<gint>(digits.size()), position);
    control->settingText = false;
}

void clicked(GtkButton*, gpointer data) {
    auto* control = static_cast<DialogControl*>(data);
    if (control->layout->kind == ControlKind::chooser)
        control->owner->showChooserMenu();
    else
        control->owner->postCommand(control->layout->id);
}

gboolean closeBox(GtkWidget*, GdkEvent*, gpointer dialog) {
    static_cast<GtkSettingsDialog*>(dialog)->command(idCancel);
    return TRUE;  // the dialog ends itself; the window goes when it has ended
}

gboolean keyBefore(GtkWidget*, GdkEventKey* key, gpointer dialog) {
    return static_cast<GtkSettingsDialog*>(dialog)->keyBeforeControls(*key);
}

gboolean keyAfter(GtkWidget*, GdkEventKey* key, gpointer dialog) {
    return static_cast<GtkSettingsDialog*>(dialog)->keyAfterControls(*key);
}

bool isEnter(guint key) { return key == GDK_KEY_Return || key == GDK_KEY_KP_Enter || key == GDK_KEY_ISO_Enter; }

int toPixels(int units, double scale) { return static_cast<int>(std::lround(units * scale)); }

}  // namespace

GtkSettingsDialog::GtkSettingsDialog(const DialogSession& session) : session_(session) { build(); }

GtkSettingsDialog::~GtkSettingsDialog() {
    if (pendingSource_) g_source_remove(pendingSource_);
    if (loop_) g_main_loop_unref(loop_);
    gtk_widget_destroy(window_);
    // Let the window leave the screen before the caller goes on.
    while (gtk_events_pending()) gtk_main_iteration();
}

void GtkSettingsDialog::build() {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window_), text::shownFromGbk(gbk::dialog::title).c_str());
    gtk_window_set_modal(GTK_WINDOW(window_), TRUE);
    gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
    gtk_window_set_type_hint(GTK_WINDOW(window_), GDK_WINDOW_TYPE_HINT_DIALOG);
    gtk_window_set_icon_name(GTK_WINDOW(window_), "preferences-desktop-screensaver");
    // The template's controls, and Linux's own below them.
    column_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_container_add(GTK_CONTAINER(window_), column_);
    fixed_ = gtk_fixed_new();
    gtk_box_pack_start(GTK_BOX(column_), fixed_, FALSE, FALSE, 0);

    controls_.reserve(std::size(settingsTemplate));
    for (const ControlLayout& layout : settingsTemplate) {
        DialogControl& control = controls_.emplace_back();
        control.owner = this;
        control.layout = &layout;
        control.widget = makeWidget(layout);
        gtk_fixed_put(GTK_FIXED(fixed_), control.widget, 0, 0);
        if (layout.id != -1)
            atk_object_set_accessible_id(gtk_widget_get_accessible(control.widget),
                                         layout.id == chooserId ? "chooser" : std::to_string(layout.id).c_str());
        if (layout.kind == ControlKind::defaultButton || layout.kind == ControlKind::pushButton ||
            layout.kind == ControlKind::chooser)
            g_signal_connect(control.widget, "clicked", G_CALLBACK(clicked), &control);
        if (layout.kind == ControlKind::numberEdit)
            g_signal_connect(control.widget, "insert-text", G_CALLBACK(keepDigits), &control);
    }
    // Each label names the field after it, as a screen reader finds it on Windows.
    for (std::size_t i = 0; i + 1 < controls_.size(); ++i) {
        if (controls_[i].layout->kind != ControlKind::label || controls_[i + 1].layout->id == -1) continue;
        gtk_label_set_mnemonic_widget(GTK_LABEL(controls_[i].widget), controls_[i + 1].widget);
    }
    GtkWidget* ok = control(idOk)->widget;
    gtk_widget_set_can_default(ok, TRUE);
    gtk_window_set_default(GTK_WINDOW(window_), ok);

    g_signal_connect(window_, "delete-event", G_CALLBACK(closeBox), this);
    g_signal_connect(window_, "key-press-event", G_CALLBACK(keyBefore), this);
    g_signal_connect_after(window_, "key-press-event", G_CALLBACK(keyAfter), this);

    buildLinuxControls();
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider, compactStyle, -1, nullptr);
    applyStyle(column_, provider);
    g_object_unref(provider);
    layOut();
}

// Dialog units from the font as Windows derives them (the average width of the
// Latin letters, the line height), widened where a control of this toolkit and
// font needs more room than its rectangle gives, so that nothing overlaps and
// every control keeps its place relative to the others.
void GtkSettingsDialog::layOut() {
    PangoLayout* sample = gtk_widget_create_pango_layout(window_, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    int letters = 0, lineHeight = 0;
    pango_layout_get_pixel_size(sample, &letters, &lineHeight);
    g_object_unref(sample);
    double scaleX = ((letters / 26 + 1) / 2) / 4.0;
    double scaleY = lineHeight / 8.0;
    for (const DialogControl& control : controls_) {
        const ControlLayout& layout = *control.layout;
        int minimum = 0, natural = 0;
        // The chooser takes the room it is given: it has no template rectangle to keep.
        if (layout.kind == ControlKind::chooser) continue;
        if (layout.kind != ControlKind::edit && layout.kind != ControlKind::numberEdit && layout.kind != ControlKind::comboBox &&
            layout.kind != ControlKind::groupBox) {
            gtk_widget_get_preferred_width(control.widget, &minimum, &natural);
            scaleX = std::max(scaleX, static_cast<double>(natural) / layout.cx);
        }
        gtk_widget_get_preferred_height(control.widget, &minimum, &natural);
        if (layout.kind != ControlKind::groupBox) scaleY = std::max(scaleY, static_cast<double>(minimum) / layout.cy);
    }
    for (const DialogControl& control : controls_) {
        const ControlLayout& layout = *control.layout;
        // A group box's frame starts half a line down, where its caption would stand.
        const int drop = layout.kind == ControlKind::groupBox ? lineHeight / 2 : 0;
        gtk_fixed_move(GTK_FIXED(fixed_), control.widget, toPixels(layout.x, scaleX), toPixels(layout.y, scaleY) + drop);
        gtk_widget_set_size_request(control.widget, toPixels(layout.cx, scaleX), toPixels(layout.cy, scaleY) - drop);
    }
    gtk_widget_set_size_request(fixed_, toPixels(templateWidth, scaleX), toPixels(templateHeight, scaleY));
}

DialogControl* GtkSettingsDialog::control(std::int32_t id) {
    if (id == -1) return nullptr;
    for (DialogControl& control : controls_)
        if (control.layout->id == id) return &control;
    return nullptr;
}

void GtkSettingsDialog::end(std::intptr_t result) {
    if (ended_) return;
    ended_ = true;
    result_ = result;
    if (loop_) g_main_loop_quit(loop_);
}

std::intptr_t GtkSettingsDialog::run() {
    settingsDialogProc(handle(), wmInitDialog, 0, 0);
    if (ended_) return result_;
    loadLinuxControls();
    gtk_widget_show_all(window_);
    // The procedure asks for no initial focus; Tab reaches the first control.
    gtk_window_set_focus(GTK_WINDOW(window_), nullptr);
    for (const DialogControl& control : controls_)
        if (GTK_IS_ENTRY(control.widget)) gtk_editable_select_region(GTK_EDITABLE(control.widget), 0, 0);
    loop_ = g_main_loop_new(nullptr, FALSE);
    if (!ended_) g_main_loop_run(loop_);
    gtk_widget_hide(window_);
    return result_;
}

void GtkSettingsDialog::command(std::int32_t id) {
    if (ended_ || disabled_) return;
    // The Linux options are saved with the settings, after them (a failed save of
    // the settings has said so and ends the dialog with 1 all the same).
    settingsDialogProc(handle(), wmCommand, static_cast<WParam>(id), 0);
    if (id == idOk && ended_ && result_ == 1) saveLinuxControls();
}

// A click may come from an assistive tool's request, which waits for its answer;
// the command (and a message box it may open) runs after the request is answered.
void GtkSettingsDialog::postCommand(std::int32_t id) {
    if (pendingSource_) return;
    pendingId_ = id;
    pendingSource_ = g_idle_add(
        [](gpointer data) -> gboolean {
            auto* dialog = static_cast<GtkSettingsDialog*>(data);
            dialog->pendingSource_ = 0;
            dialog->command(dialog->pendingId_);
            return G_SOURCE_REMOVE;
        },
        this);
}

// Tab order is template order, whatever the places; Enter outside the fields and
// the push buttons means the default button.
bool GtkSettingsDialog::keyBeforeControls(const GdkEventKey& key) {
    if (key.keyval == GDK_KEY_Tab || key.keyval == GDK_KEY_KP_Tab || key.keyval == GDK_KEY_ISO_Left_Tab) {
        moveFocus(key.keyval != GDK_KEY_ISO_Left_Tab && !(key.state & GDK_SHIFT_MASK));
        return true;
    }
    GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(window_));
    if (isEnter(key.keyval) && (!focus || GTK_IS_CHECK_BUTTON(focus))) {
        command(idOk);
        return true;
    }
    return false;
}

bool GtkSettingsDialog::keyAfterControls(const GdkEventKey& key) {
    if (key.keyval != GDK_KEY_Escape) return false;
    command(idCancel);
    return true;
}

void GtkSettingsDialog::moveFocus(bool forward) {
    // The template's order, the chooser after the path it fills, then Linux's own.
    std::vector<GtkWidget*> stops;
    for (const DialogControl& control : controls_) {
        if (!takesTabStop(control.layout->kind) || control.layout->kind == ControlKind::chooser) continue;
        stops.push_back(control.widget);
        if (control.layout->id == idImageList) stops.push_back(this->control(chooserId)->widget);
    }
    for (GtkWidget* option : linux_.options) stops.push_back(option);
    if (linux_.idle) stops.push_back(linux_.idle);
    if (linux_.idleMinutes) stops.push_back(linux_.idleMinutes);
    // A switched-off field (the idle start's minutes) takes no focus.
    std::erase_if(stops, [](GtkWidget* stop) { return !gtk_widget_is_sensitive(stop) || !gtk_widget_get_visible(stop); });
    GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(window_));
    const auto holdsFocus = [focus](GtkWidget* stop) {
        return focus && (focus == stop || gtk_widget_is_ancestor(focus, stop));
    };
    const auto current = std::find_if(stops.begin(), stops.end(), holdsFocus);
    std::size_t next = 0;
    if (current == stops.end())
        next = forward ? 0 : stops.size() - 1;
    else
        next = (static_cast<std::size_t>(current - stops.begin()) + (forward ? 1 : stops.size() - 1)) % stops.size();
    gtk_widget_grab_focus(stops[next]);
}

}  // namespace vellora::linux_platform
