#include "platform/linux/folder_catalogue.h"
#include "platform/decoding/picture_loader.h"
#include "platform/linux/linux_internal.h"

namespace vellora::linux_platform {
namespace {

// A show has no settings dialog; nothing calls these while it runs.
class NoDialog : public DialogServices {
public:
    void endDialog(WindowHandle, std::intptr_t) override {}
    void addComboString(WindowHandle, std::int32_t, const char*) override {}
    void setComboSelection(WindowHandle, std::int32_t, std::int32_t) override {}
    std::int32_t comboSelection(WindowHandle, std::int32_t) override { return -1; }
    void setItemText(WindowHandle, std::int32_t, const std::string&) override {}
    std::string itemText(WindowHandle, std::int32_t, std::size_t) override { return {}; }
    void setItemSignedInt(WindowHandle, std::int32_t, std::int32_t) override {}
    std::int32_t itemSignedInt(WindowHandle, std::int32_t) override { return 0; }
    void checkButton(WindowHandle, std::int32_t, std::uint32_t) override {}
    std::uint32_t buttonState(WindowHandle, std::int32_t) override { return 0; }
};

}  // namespace

DialogServices& noDialog() {
    static NoDialog dialog;
    return dialog;
}

void installLinuxPlatform(WindowServices& windows, ShellServices& shell) {
    stopFoldersWhen(stopRequested);
    installPlatform({&windows, &files(), &pictureLoader(), &clock(), &folderCatalogue()});
    installShellServices(&shell);
    installDialogServices(&noDialog());
}

}  // namespace vellora::linux_platform
