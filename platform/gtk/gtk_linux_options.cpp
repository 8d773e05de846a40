// Linux's own part of the GTK settings dialog: the chooser beside the path, the
// Linux options below the template's controls, and the idle start.
#include <unistd.h>

#include <cstring>

#include "dialog/settings_dialog.h"
#include "platform/gtk/gtk_dialog_internal.h"
#include "platform/linux/command_line.h"
#include "platform/linux/dialog_text.h"
#include "platform/linux/idle_autostart.h"
#include "platform/linux/linux_options.h"
#include "platform/linux/program_text.h"

namespace vellora::linux_platform {
namespace {

using text::tr;

void setAccessibleId(GtkWidget* widget, const char* id) {
    atk_object_set_accessible_id(gtk_widget_get_accessible(widget), id);
}

// Like the delay field: typed or pasted text keeps only digits and one point.
void keepMinutes(GtkEditable* editable, gchar* inserted, gint length, gint* position, gpointer) {
    const std::size_t size = length < 0 ? std::strlen(inserted) : static_cast<std::size_t>(length);
    for (std::size_t i = 0; i < size; ++i)
        if (!(inserted[i] >= '0' && inserted[i] <= '9') && inserted[i] != '.') {
            g_signal_stop_emission_by_name(editable, "insert-text");
            gtk_widget_error_bell(GTK_WIDGET(editable));
            return;
        }
    (void)position;
}

void idleToggled(GtkToggleButton* idle, gpointer minutes) {
    gtk_widget_set_sensitive(GTK_WIDGET(minutes), gtk_toggle_button_get_active(idle));
}

// The vellora program to start the watcher with: the one beside this program
// (this one, or the one beside the dialog's test program), else the one on PATH.
std::string velloraProgram() {
    const std::string folder = programFolder();
    const std::string beside = folder + "vellora";
    return !folder.empty() && access(beside.c_str(), X_OK) == 0 ? beside : "vellora";
}

}  // namespace

void GtkSettingsDialog::buildLinuxControls() {
    GtkWidget* frame = gtk_frame_new(tr("Linux options"));
    gtk_container_set_border_width(GTK_CONTAINER(frame), 6);
    gtk_box_pack_start(GTK_BOX(column_), frame, FALSE, FALSE, 0);
    GtkWidget* grid = gtk_grid_new();
    gtk_container_set_border_width(GTK_CONTAINER(grid), 4);
    gtk_grid_set_row_spacing(GTK_GRID(grid), 2);
    gtk_grid_set_column_spacing(GTK_GRID(grid), 12);
    gtk_container_add(GTK_CONTAINER(frame), grid);
    int row = 0;
    GtkWidget* idleNote = nullptr;
    for (const LinuxOption& option : linuxOptions) {
        GtkWidget* box = gtk_check_button_new_with_label(tr(option.label));
        setAccessibleId(box, option.key);
        gtk_grid_attach(GTK_GRID(grid), box, 0, row++, 2, 1);
        linux_.options.push_back(box);
    }
    if (session_.xscreensaverRuns && session_.xscreensaverRuns()) {
        idleNote = gtk_label_new(
            tr("xscreensaver runs this session's screen saver: choose Vellora in xscreensaver-settings."));
    } else {
        const IdleAutostart autostart = readIdleAutostart(autostartPath());
        if (autostart.state == IdleAutostart::State::userEdited) {
            gchar* note = g_strdup_printf(tr("Your own %s starts the show when idle; it is left as it is."),
                                          text::utf8FromPath(autostartPath()).c_str());
            idleNote = gtk_label_new(note);
            g_free(note);
        } else {
            linux_.idle = gtk_check_button_new_with_label(tr("Start the show after this many minutes without input:"));
            setAccessibleId(linux_.idle, "idle");
            linux_.idleMinutes = gtk_entry_new();
            gtk_entry_set_width_chars(GTK_ENTRY(linux_.idleMinutes), 6);
            gtk_entry_set_activates_default(GTK_ENTRY(linux_.idleMinutes), TRUE);
            setAccessibleId(linux_.idleMinutes, "idle-minutes");
            atk_object_set_name(gtk_widget_get_accessible(linux_.idleMinutes), tr("Minutes without input"));
            g_signal_connect(linux_.idleMinutes, "insert-text", G_CALLBACK(keepMinutes), nullptr);
            g_signal_connect(linux_.idle, "toggled", G_CALLBACK(idleToggled), linux_.idleMinutes);
            gtk_grid_attach(GTK_GRID(grid), linux_.idle, 0, row, 1, 1);
            gtk_grid_attach(GTK_GRID(grid), linux_.idleMinutes, 1, row++, 1, 1);
            linux_.idleWasOn = autostart.state == IdleAutostart::State::on;
            linux_.idleMinutesWere = autostart.minutes;
        }
    }
    if (idleNote) {
        gtk_label_set_xalign(GTK_LABEL(idleNote), 0.0f);
        gtk_label_set_line_wrap(GTK_LABEL(idleNote), TRUE);
        gtk_label_set_max_width_chars(GTK_LABEL(idleNote), 60);
        setAccessibleId(idleNote, "idle-note");
        gtk_grid_attach(GTK_GRID(grid), idleNote, 0, row++, 2, 1);
    }
}

void GtkSettingsDialog::loadLinuxControls() {
    const std::string path = linuxOptionsPath();
    const LinuxOptionsFile file = readLinuxOptions(path);
    if (file.state == LinuxOptionsFile::State::damaged)
        std::fprintf(stderr, tr("vellora: %s is damaged (%s); its options show as off and it is not saved\n"),
                     path.c_str(), file.problem.c_str());
    LinuxOptionValues values = file.values;
    if (file.state == LinuxOptionsFile::State::missing && session_.shuffleWithoutOptionsFile)
        for (std::size_t i = 0; i < linuxOptionCount; ++i)
            if (linuxOptions[i].value == &CommandLine::shuffle) values[i] = true;
    for (std::size_t i = 0; i < linuxOptionCount; ++i)
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(linux_.options[i]), values[i]);
    if (linux_.idle) {
        gtk_entry_set_text(GTK_ENTRY(linux_.idleMinutes), linux_.idleMinutesWere.c_str());
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(linux_.idle), linux_.idleWasOn);
        gtk_widget_set_sensitive(linux_.idleMinutes, linux_.idleWasOn);
    }
}

void GtkSettingsDialog::saveLinuxControls() {
    std::string failed;
    LinuxOptionValues values{};
    for (std::size_t i = 0; i < linuxOptionCount; ++i)
        values[i] = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(linux_.options[i]));
    const std::string optionsPath = linuxOptionsPath();
    if (!saveLinuxOptions(optionsPath, values)) {
        gchar* message = g_strdup_printf(tr("Cannot save the Linux options in %s; that file is left as it is."),
                                          text::utf8FromPath(optionsPath).c_str());
        failed = message;
        g_free(message);
    }
    if (linux_.idle) {
        const bool on = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(linux_.idle));
        const std::string minutes = gtk_entry_get_text(GTK_ENTRY(linux_.idleMinutes));
        const bool changed = on != linux_.idleWasOn || (on && minutes != linux_.idleMinutesWere);
        const bool validMinutes = !on || parseIdleMinutes(minutes.c_str()) != 0;
        bool done = validMinutes;
        if (validMinutes && (changed || (on && !runningIdleWatcher())))
            done = switchIdleAutostart(autostartPath(), on, minutes) && restartIdleWatcher(velloraProgram(), on, minutes);
        if (!done) {
            if (!failed.empty()) failed += "\n";
            failed += validMinutes ? tr("Cannot change the idle start.")
                                   : tr("The idle start was not changed: its minutes must be a number above 0, at most a "
                                        "week (10080).");
        }
    }
    if (failed.empty()) return;
    GtkWidget* box = gtk_message_dialog_new(window(), GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER, GTK_BUTTONS_OK, "%s",
                                            failed.c_str());
    gtk_window_set_title(GTK_WINDOW(box), tr("ERROR"));
    gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
}

void GtkSettingsDialog::showChooserMenu() {
    if (ended_ || disabled_) return;
    GtkWidget* menu = gtk_menu_new();
    struct Choice {
        const char* text;
        bool folder;
    };
    static const Choice choices[] = {{N_("A folder of pictures…"), true}, {N_("An image list file…"), false}};
    for (const Choice& choice : choices) {
        GtkWidget* item = gtk_menu_item_new_with_label(tr(choice.text));
        g_object_set_data(G_OBJECT(item), "vellora-folder", GINT_TO_POINTER(choice.folder ? 1 : 0));
        g_signal_connect(item, "activate", G_CALLBACK(+[](GtkMenuItem* item, gpointer dialog) {
                             const bool folder = g_object_get_data(G_OBJECT(item), "vellora-folder") != nullptr;
                             // After the menu has gone: the chooser runs a loop of its own.
                             struct Request {
                                 GtkSettingsDialog* dialog;
                                 bool folder;
                             };
                             g_idle_add(+[](gpointer data) -> gboolean {
                                 auto* request = static_cast<Request*>(data);
                                 request->dialog->choosePath(request->folder);
                                 delete request;
                                 return G_SOURCE_REMOVE;
                             }, new Request{static_cast<GtkSettingsDialog*>(dialog), folder});
                         }),
                         this);
        gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    }
    gtk_widget_show_all(menu);
    gtk_menu_attach_to_widget(GTK_MENU(menu), control(chooserId)->widget, nullptr);
    g_signal_connect(menu, "deactivate", G_CALLBACK(+[](GtkMenuShell* shell, gpointer) {
                         g_idle_add(+[](gpointer menu) -> gboolean {
                             gtk_widget_destroy(GTK_WIDGET(menu));
                             return G_SOURCE_REMOVE;
                         }, shell);
                     }),
                     nullptr);
    gtk_menu_popup_at_widget(GTK_MENU(menu), control(chooserId)->widget, GDK_GRAVITY_SOUTH_WEST, GDK_GRAVITY_NORTH_WEST,
                             nullptr);
}

void GtkSettingsDialog::choosePath(bool folder) {
    if (ended_ || disabled_) return;
    DialogControl* path = control(idImageList);
    GtkFileChooserNative* chooser = gtk_file_chooser_native_new(
        folder ? tr("Choose the folder of pictures") : tr("Choose the image list file"), window(),
        folder ? GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER : GTK_FILE_CHOOSER_ACTION_OPEN, tr("_Choose"), tr("_Cancel"));
    gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(chooser), TRUE);
    gtk_file_chooser_set_local_only(GTK_FILE_CHOOSER(chooser), TRUE);
    // Start where the field points, when it names something that is there.
    const std::string current = path->pathShown == gtk_entry_get_text(GTK_ENTRY(path->widget))
                                    ? path->pathBytes
                                    : text::pathFromUtf8(gtk_entry_get_text(GTK_ENTRY(path->widget)));
    if (!current.empty()) {
        if (g_file_test(current.c_str(), G_FILE_TEST_IS_DIR))
            gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), current.c_str());
        else if (g_file_test(current.c_str(), G_FILE_TEST_EXISTS))
            gtk_file_chooser_set_filename(GTK_FILE_CHOOSER(chooser), current.c_str());
    }
    setDisabled(true);
    const gint response = gtk_native_dialog_run(GTK_NATIVE_DIALOG(chooser));
    setDisabled(false);
    if (response == GTK_RESPONSE_ACCEPT) {
        // The file system's bytes, as the show opens them.
        if (gchar* chosen = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser))) {
            path->pathBytes = chosen;
            path->pathShown = text::utf8FromPath(path->pathBytes);
            path->settingText = true;
            gtk_entry_set_text(GTK_ENTRY(path->widget), path->pathShown.c_str());
            path->settingText = false;
            g_free(chosen);
        }
    }
    g_object_unref(chooser);
}

}  // namespace vellora::linux_platform
