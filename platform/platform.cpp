#include "platform/platform.h"
#include "platform/shell_services.h"

namespace vellora {
namespace {
Platform installed;
ShellServices* installedShell = nullptr;
}

void installPlatform(const Platform& p) { installed = p; }
const Platform& platform() { return installed; }

void installShellServices(ShellServices* services) { installedShell = services; }
ShellServices& shellServices() { return *installedShell; }

}  // namespace vellora
