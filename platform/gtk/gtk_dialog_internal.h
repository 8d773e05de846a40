// Internal to the GTK settings dialog: the window with the controls of template
// 2003, shared by the window code and the dialog services.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace vellora::linux_platform {

enum class ControlKind { defaultButton, pushButton, label, edit, numberEdit, comboBox, groupBox, checkBox, chooser };
// The chooser beside the path is Linux's own control: no template identifier.
inline constexpr std::int32_t chooserId = 9001;

// One control of the template: identifier, kind, GBK text, and its rectangle in dialog
// units. The chooser is Linux's own, beside the path field; it is no template control.
struct ControlLayout {
    std::int32_t id;
    ControlKind kind;
    const char* text;
    int x, y, cx, cy;
};

class GtkSettingsDialog;

// Linux's own controls below the template's (platform/gtk/gtk_linux_options.cpp):
// the Linux options, and the idle start or why it is not offered. Each widget's
// accessible id is the option's key, "idle" for the switch, "idle-minutes" for its
// field; the note shown instead of them has "idle-note".
struct LinuxControls {
    std::vector<GtkWidget*> options;  // a check box per row of linuxOptions
    GtkWidget* idle = nullptr;        // null when the idle start is not offered
    GtkWidget* idleMinutes = nullptr;
    bool idleWasOn = false;
    std::string idleMinutesWere;
};

// What the Linux side of the dialog needs to know of the session.
struct DialogSession {
    // The xscreensaver daemon runs this session's screen saving; may be null.
    bool (*xscreensaverRuns)() = nullptr;
    // The options to show when there is no options file (the first run's shuffle).
    bool shuffleWithoutOptionsFile = false;
};

struct DialogControl {
    GtkSettingsDialog* owner = nullptr;
    const ControlLayout* layout = nullptr;
    GtkWidget* widget = nullptr;
    // The path field's bytes as the core set them, and the text they were shown as.
    std::string pathBytes, pathShown;
    // Set while the dialog services change a field, whose text then passes unfiltered.
    bool settingText = false;
};

class GtkSettingsDialog {
public:
    explicit GtkSettingsDialog(const DialogSession& session = {});
    ~GtkSettingsDialog();
    GtkSettingsDialog(const GtkSettingsDialog&) = delete;
    GtkSettingsDialog& operator=(const GtkSettingsDialog&) = delete;

    WindowHandle handle() const { return reinterpret_cast<WindowHandle>(window_); }
    GtkWindow* window() const { return GTK_WINDOW(window_); }
    // The control with this identifier; nothing for -1 or an unknown one.
    DialogControl* control(std::int32_t id);
    void end(std::intptr_t result);
    // Initialises the dialog through its procedure; unless that ended it, shows it
    // and handles events until it ends. Returns the end value.
    std::intptr_t run();

    // Event handling, for the toolkit's callbacks.
    void command(std::int32_t id);
    // The command of a button's click, sent once the toolkit is idle.
    void postCommand(std::int32_t id);
    // While a message box it owns is open, the dialog takes no commands, as a
    // disabled owner window takes none.
    void setDisabled(bool disabled) { disabled_ = disabled; }
    bool keyBeforeControls(const GdkEventKey& key);
    bool keyAfterControls(const GdkEventKey& key);
    // The chooser's menu and the file chooser of the desktop, for the path field.
    void choosePath(bool folder);
    void showChooserMenu();

private:
    void build();
    void buildLinuxControls();
    void loadLinuxControls();
    // After OK: the options file and the idle start; a message box for what failed.
    void saveLinuxControls();
    void layOut();
    void moveFocus(bool forward);

    GtkWidget* window_ = nullptr;
    GtkWidget* column_ = nullptr;
    GtkWidget* fixed_ = nullptr;
    DialogSession session_;
    LinuxControls linux_;
    std::vector<DialogControl> controls_;
    GMainLoop* loop_ = nullptr;
    guint pendingSource_ = 0;
    std::int32_t pendingId_ = 0;
    bool ended_ = false;
    bool disabled_ = false;
    std::intptr_t result_ = 0;
};

}  // namespace vellora::linux_platform
