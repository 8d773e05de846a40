#include "platform/linux/folder_catalogue.h"
#include "platform/linux/linux_internal.h"

namespace vellora::linux_platform {

void installLinuxPlatform() {
    installPlatform({&windowServices(), &files(), &pictureLoader(), &clock(), &folderCatalogue()});
    installShellServices(&shell());
    installDialogServices(&dialog());
}

}  // namespace vellora::linux_platform
