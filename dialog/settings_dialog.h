// The settings dialog of the configuration mode: shows the four settings and saves
// them on OK. It keeps nothing between messages; everything lives in its controls.
#pragma once

#include "platform/platform.h"

namespace vellora {

inline constexpr std::int32_t settingsDialogTemplate = 2003;
inline constexpr std::int32_t idOk = 1, idCancel = 2;
inline constexpr std::int32_t idImageList = 1001, idDelay = 1002, idEffect = 1003, idRandom = 1004;
inline constexpr MessageId wmInitDialog = 0x0110, wmCommand = 0x0111;

// TRUE (1) for a message it handled, FALSE (0) otherwise; FALSE after initialisation.
std::intptr_t settingsDialogProc(WindowHandle dialog, MessageId message, WParam wParam, LParam lParam);

}  // namespace vellora
