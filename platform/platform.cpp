#include "platform/platform.h"

#include <algorithm>

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

std::size_t MemoryInputFile::read(char* buffer, std::size_t size) {
    const std::size_t n = std::min(size, bytes_.size() - pos_);
    std::copy_n(bytes_.data() + pos_, n, buffer);
    pos_ += n;
    return n;
}

}  // namespace vellora
