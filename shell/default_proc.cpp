#include "shell/shell.h"

namespace vellora {

MessageResult shellDefaultProc(WindowHandle window, MessageId message, WParam wParam, LParam lParam) {
    return platform().windows->defaultProc(window, message, wParam, lParam);
}

}  // namespace vellora
