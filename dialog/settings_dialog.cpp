#include "dialog/settings_dialog.h"

#include "effects/catalogue.h"
#include "platform/dialog_services.h"
#include "resources/gbk_text.h"
#include "slideshow/settings_file.h"

namespace vellora {
namespace {

void initialise(WindowHandle dialog) {
    DialogServices& ui = dialogServices();
    std::unique_ptr<InputFile> file = openSettingsFile();
    if (!file) {
        // Never shown: the dialog does not create a missing settings file.
        ui.endDialog(dialog, 0);
        return;
    }
    Settings settings;
    readSettings(*file, settings);
    file.reset();
    for (const EffectEntry& row : effectCatalogue) ui.addComboString(dialog, idEffect, row.name);
    ui.setComboSelection(dialog, idEffect, settings.effectIndex);
    ui.setItemText(dialog, idImageList, settings.imageListPath);
    ui.setItemSignedInt(dialog, idDelay, settings.delaySeconds);
    ui.checkButton(dialog, idRandom, static_cast<std::uint32_t>(settings.randomOrder));
}

void save(WindowHandle dialog) {
    DialogServices& ui = dialogServices();
    Settings settings;
    settings.imageListPath = ui.itemText(dialog, idImageList, longestPathBytes() + 1);
    settings.delaySeconds = ui.itemSignedInt(dialog, idDelay);
    settings.effectIndex = ui.comboSelection(dialog, idEffect);
    settings.randomOrder = static_cast<std::int32_t>(ui.buttonState(dialog, idRandom));
    if (!writeSettings(settings)) platform().windows->messageBox(dialog, gbk::cannotSaveSettings, "ERROR");
    ui.endDialog(dialog, 1);
}

}  // namespace

std::intptr_t settingsDialogProc(WindowHandle dialog, MessageId message, WParam wParam, LParam) {
    if (message == wmInitDialog) {
        initialise(dialog);
        return 0;
    }
    if (message != wmCommand) return 0;
    if (wParam == idOk) {
        save(dialog);
        return 1;
    }
    if (wParam == idCancel) {
        dialogServices().endDialog(dialog, 0);
        return 1;
    }
    return 0;
}

}  // namespace vellora
