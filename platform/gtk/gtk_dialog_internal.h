// Internal to the GTK settings dialog: the window with the controls of template
// 2003, shared by the window code and the dialog services.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace vellora::linux_platform {

enum class ControlKind { defaultButton, pushButton, label, edit, numberEdit, comboBox, groupBox, checkBox };

// One control of the template: identifier, kind, GBK text, and its rectangle in dialog units.
struct ControlLayout {
    std::int32_t id;
    ControlKind kind;
    const char* text;
    int x, y, cx, cy;
};

class GtkSettingsDialog;

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
    GtkSettingsDialog();
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

private:
    void build();
    void layOut();
    void moveFocus(bool forward);

    GtkWidget* window_ = nullptr;
    GtkWidget* fixed_ = nullptr;
    std::vector<DialogControl> controls_;
    GMainLoop* loop_ = nullptr;
    guint pendingSource_ = 0;
    std::int32_t pendingId_ = 0;
    bool ended_ = false;
    bool disabled_ = false;
    std::intptr_t result_ = 0;
};

}  // namespace vellora::linux_platform
