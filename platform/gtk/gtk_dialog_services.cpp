// The dialog manager's operations on the GTK settings dialog, its message box,
// and the entry point that runs it.
#include "platform/dialog_services.h"
#include "platform/gtk/gtk_dialog.h"
#include "platform/gtk/gtk_dialog_internal.h"
#include "platform/linux/dialog_text.h"
#include "platform/linux/folder_catalogue.h"
#include "platform/linux/linux_internal.h"
#include "platform/linux/program_text.h"
#include "platform/linux/user_files.h"
#include "resources/gbk_text.h"
#include "slideshow/settings_file.h"

namespace vellora::linux_platform {
namespace {

class GtkDialogServices : public DialogServices {
public:
    GtkSettingsDialog* open = nullptr;

    void endDialog(WindowHandle dialog, std::intptr_t result) override {
        if (open && open->handle() == dialog) open->end(result);
    }
    void addComboString(WindowHandle dialog, std::int32_t item, const char* gbk) override {
        if (GtkComboBoxText* combo = comboBox(dialog, item))
            gtk_combo_box_text_append_text(combo, text::shownFromGbk(gbk).c_str());
    }
    // As CB_SETCURSEL: an index outside the list selects nothing and empties the field.
    void setComboSelection(WindowHandle dialog, std::int32_t item, std::int32_t index) override {
        GtkComboBoxText* combo = comboBox(dialog, item);
        if (!combo) return;
        const gint count = gtk_tree_model_iter_n_children(gtk_combo_box_get_model(GTK_COMBO_BOX(combo)), nullptr);
        const bool inList = index >= 0 && index < count;
        gtk_combo_box_set_active(GTK_COMBO_BOX(combo), inList ? index : -1);
        if (!inList) gtk_entry_set_text(GTK_ENTRY(gtk_bin_get_child(GTK_BIN(combo))), "");
    }
    // Text typed into the field unselects the list's item, so it reads as -1.
    std::int32_t comboSelection(WindowHandle dialog, std::int32_t item) override {
        GtkComboBoxText* combo = comboBox(dialog, item);
        return combo ? gtk_combo_box_get_active(GTK_COMBO_BOX(combo)) : -1;
    }
    void setItemText(WindowHandle dialog, std::int32_t item, const std::string& bytes) override {
        DialogControl* control = find(dialog, item);
        if (!control) return;
        if (control->layout->kind == ControlKind::edit) {
            control->pathBytes = bytes.substr(0, bytes.find('\0'));
            control->pathShown = text::utf8FromPath(control->pathBytes);
            setShownText(*control, control->pathShown);
        } else {
            setShownText(*control, text::shownFromGbk(bytes.substr(0, bytes.find('\0'))));
        }
    }
    std::string itemText(WindowHandle dialog, std::int32_t item, std::size_t bufferSize) override {
        DialogControl* control = find(dialog, item);
        if (!control || bufferSize == 0) return {};
        const std::string shown = shownText(*control);
        const std::size_t room = bufferSize - 1;
        if (control->layout->kind == ControlKind::edit) {
            const std::string bytes = shown == control->pathShown ? control->pathBytes : text::pathFromUtf8(shown);
            return bytes.size() <= room ? bytes : text::cutUtf8(bytes, room);
        }
        return text::cutGbk(text::gbkFromUtf8(shown), room);
    }
    void setItemSignedInt(WindowHandle dialog, std::int32_t item, std::int32_t value) override {
        if (DialogControl* control = find(dialog, item)) setShownText(*control, std::to_string(value));
    }
    std::int32_t itemSignedInt(WindowHandle dialog, std::int32_t item) override {
        DialogControl* control = find(dialog, item);
        return control ? text::signedIntFromText(shownText(*control)) : 0;
    }
    // A two-state check box takes any state but 0 as ticked, as BM_SETCHECK does.
    void checkButton(WindowHandle dialog, std::int32_t item, std::uint32_t state) override {
        DialogControl* control = find(dialog, item);
        if (control && GTK_IS_TOGGLE_BUTTON(control->widget))
            gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(control->widget), state != 0);
    }
    std::uint32_t buttonState(WindowHandle dialog, std::int32_t item) override {
        DialogControl* control = find(dialog, item);
        return control && GTK_IS_TOGGLE_BUTTON(control->widget) &&
               gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(control->widget));
    }

private:
    DialogControl* find(WindowHandle dialog, std::int32_t item) {
        return open && open->handle() == dialog ? open->control(item) : nullptr;
    }
    GtkComboBoxText* comboBox(WindowHandle dialog, std::int32_t item) {
        DialogControl* control = find(dialog, item);
        return control && GTK_IS_COMBO_BOX_TEXT(control->widget) ? GTK_COMBO_BOX_TEXT(control->widget) : nullptr;
    }
    static void setShownText(DialogControl& control, const std::string& utf8) {
        control.settingText = true;
        if (GTK_IS_ENTRY(control.widget))
            gtk_entry_set_text(GTK_ENTRY(control.widget), utf8.c_str());
        else if (GTK_IS_BUTTON(control.widget))
            gtk_button_set_label(GTK_BUTTON(control.widget), utf8.c_str());
        control.settingText = false;
    }
    static std::string shownText(const DialogControl& control) {
        if (GTK_IS_ENTRY(control.widget)) return gtk_entry_get_text(GTK_ENTRY(control.widget));
        if (GTK_IS_BUTTON(control.widget)) return gtk_button_get_label(GTK_BUTTON(control.widget));
        return {};
    }
};

// The settings process has no show window; the dialog's message box is all it needs.
class GtkDialogWindows : public WindowServices {
public:
    GtkSettingsDialog* open = nullptr;

    Canvas* deviceContext(WindowHandle) override { return nullptr; }
    std::uintptr_t setTimer(WindowHandle, std::uintptr_t, std::uint32_t) override { return 0; }
    void killTimer(WindowHandle, std::uintptr_t) override {}
    void postQuit(int) override {}
    void messageBox(WindowHandle owner, const std::string& gbkText, const std::string& gbkCaption) override {
        GtkWindow* parent = open && open->handle() == owner ? open->window() : nullptr;
        GtkWidget* box = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER, GTK_BUTTONS_OK, "%s",
                                                text::shownFromGbk(gbkText).c_str());
        gtk_window_set_title(GTK_WINDOW(box), text::shownCaption(localPath(gbkCaption)).c_str());
        if (parent) open->setDisabled(true);
        gtk_dialog_run(GTK_DIALOG(box));
        gtk_widget_destroy(box);
        if (parent) open->setDisabled(false);
    }
    MessageResult defaultProc(WindowHandle, MessageId, WParam, LParam) override { return 0; }
};

}  // namespace

int runSettingsDialogGtk(bool (*xscreensaverRuns)()) {
    text::startTranslations();
    if (!g_get_prgname()) g_set_prgname("vellora");
    if (!gtk_init_check(nullptr, nullptr)) return -1;
    static GtkDialogWindows windows;
    static GtkDialogServices services;
    installPlatform({&windows, &files(), nullptr, nullptr});
    installDialogServices(&services);
    DialogSession session;
    session.xscreensaverRuns = xscreensaverRuns;
    // Linux has no installer that writes the file first: a first run shows what the
    // show would use now, and OK writes it. A file that is there but cannot be read
    // is the user's: it is said, and nothing is written over it.
    const std::string settingsPath = localPath(settingsFilePath());
    const UserFile settings = readUserFile(settingsPath, 1u << 20);
    if (settings.state == UserFile::State::unreadable) {
        windows.messageBox(0, gbk::cannotOpenSettings, settingsFilePath());
        std::fprintf(stderr, "vellora: %s: %s\n", settingsPath.c_str(), settings.problem.c_str());
        return 0;
    }
    if (settings.state == UserFile::State::missing) {
        Settings first;
        if (std::optional<std::string> folder = defaultPictureFolder()) {
            first.imageListPath = *folder;
            session.shuffleWithoutOptionsFile = true;  // as the show shuffles it
        }
        useSettingsForThisRun(encodeSettings(first));
    }
    GtkSettingsDialog dialog(session);
    windows.open = services.open = &dialog;
    const std::intptr_t result = dialog.run();
    windows.open = services.open = nullptr;
    return static_cast<int>(result);
}

}  // namespace vellora::linux_platform
