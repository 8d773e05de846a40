#include "platform/platform.h"

#include "platform/dialog_services.h"
#include "platform/shell_services.h"

namespace vellora {
namespace {
Platform installed;
ShellServices* installedShell = nullptr;
DialogServices* installedDialog = nullptr;
}  // namespace

void installPlatform(const Platform& p) { installed = p; }
const Platform& platform() { return installed; }

void installShellServices(ShellServices* services) { installedShell = services; }
ShellServices& shellServices() { return *installedShell; }

void installDialogServices(DialogServices* services) { installedDialog = services; }
DialogServices& dialogServices() { return *installedDialog; }

}  // namespace vellora
