// The dialog manager's operations that the settings dialog uses.
// Contract: `dialog` is the dialog window; `item` a control identifier of its
// template. Text is ANSI bytes. Each call is one platform call, answered unchanged.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace vellora {

class DialogServices {
public:
    virtual ~DialogServices() = default;
    virtual void endDialog(WindowHandle dialog, std::intptr_t result) = 0;
    virtual void addComboString(WindowHandle dialog, std::int32_t item, const char* text) = 0;  // CB_ADDSTRING
    virtual void setComboSelection(WindowHandle dialog, std::int32_t item, std::int32_t index) = 0;  // CB_SETCURSEL
    virtual std::int32_t comboSelection(WindowHandle dialog, std::int32_t item) = 0;  // CB_GETCURSEL, -1 for none
    virtual void setItemText(WindowHandle dialog, std::int32_t item, const std::string& text) = 0;
    // GetDlgItemTextA into a zeroed buffer of `bufferSize` bytes.
    virtual std::string itemText(WindowHandle dialog, std::int32_t item, std::size_t bufferSize) = 0;
    virtual void setItemSignedInt(WindowHandle dialog, std::int32_t item, std::int32_t value) = 0;
    virtual std::int32_t itemSignedInt(WindowHandle dialog, std::int32_t item) = 0;  // 0 when not a number
    virtual void checkButton(WindowHandle dialog, std::int32_t item, std::uint32_t state) = 0;
    virtual std::uint32_t buttonState(WindowHandle dialog, std::int32_t item) = 0;
};

void installDialogServices(DialogServices* services);
DialogServices& dialogServices();

}  // namespace vellora
