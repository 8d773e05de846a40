#include "platform/linux/program_text.h"

#include <libintl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstring>

#include "platform/linux/dialog_text.h"
#include "resources/gbk_text.h"

#ifndef VELLORA_LOCALEDIR
#define VELLORA_LOCALEDIR "/usr/share/locale"
#endif

namespace vellora::linux_platform::text {

// The English texts of the core's GBK texts, in the order of resources/gbk_text.h.
const CoreText coreTexts[] = {
    {gbk::effectNames[0], N_("Random")},
    {gbk::effectNames[1], N_("None")},
    {gbk::effectNames[2], N_("Enlarge")},
    {gbk::effectNames[3], N_("Scan down")},
    {gbk::effectNames[4], N_("Scan up")},
    {gbk::effectNames[5], N_("Scan right")},
    {gbk::effectNames[6], N_("Scan left")},
    {gbk::effectNames[7], N_("Split horizontally")},
    {gbk::effectNames[8], N_("Split vertically")},
    {gbk::effectNames[9], N_("Mosaic")},
    {gbk::effectNames[10], N_("Move down")},
    {gbk::effectNames[11], N_("Move up")},
    {gbk::effectNames[12], N_("Move right")},
    {gbk::effectNames[13], N_("Move left")},
    {gbk::effectNames[14], N_("Cross horizontally")},
    {gbk::effectNames[15], N_("Cross vertically")},
    {gbk::effectNames[16], N_("Horizontal blinds")},
    {gbk::effectNames[17], N_("Vertical blinds")},
    {gbk::effectNames[18], N_("Horizontal bars")},
    {gbk::effectNames[19], N_("Vertical bars")},
    {gbk::cannotOpenSettings, N_("Cannot open the settings file!")},
    {gbk::cannotOpenImageList, N_("Cannot open the image list file!")},
    {gbk::pictureNotFound, N_("No picture file found.")},
    {gbk::cannotSaveSettings, N_("Cannot save the settings!")},
    {gbk::dialog::title, N_("Vellora Screen Saver Settings  ---  https://vellora.example/")},
    {gbk::dialog::ok, N_("OK")},
    {gbk::dialog::cancel, N_("Cancel")},
    {gbk::dialog::imageList, N_("Image list:")},
    {gbk::dialog::delay, N_("Show each:")},
    {gbk::dialog::seconds, N_("s")},
    {gbk::dialog::effect, N_("Transition:")},
    {gbk::dialog::randomOrder, N_("Random order")},
    // The captions of the core's message boxes are ASCII words on every system.
    {"ERROR", N_("ERROR")},
    {"INFO", N_("INFO")},
};
const std::size_t coreTextCount = sizeof coreTexts / sizeof coreTexts[0];

std::string catalogueFolder() {
    const std::string folder = programFolder();
    if (!folder.empty()) {
        const std::string beside = folder + "locale";
        struct stat info {};
        if (stat(beside.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return beside;
    }
    return VELLORA_LOCALEDIR;
}

void startTranslations() {
    static bool started = false;
    if (started) return;
    started = true;
    std::setlocale(LC_ALL, "");
    bindtextdomain(textDomain, catalogueFolder().c_str());
    bind_textdomain_codeset(textDomain, "UTF-8");
}

const char* tr(const char* english) { return dgettext(textDomain, english); }

namespace {

// The English text of a core text; null for any other bytes.
const char* englishOf(const std::string& gbk) {
    for (const CoreText& core : coreTexts)
        if (gbk == core.gbk) return core.english;
    return nullptr;
}

}  // namespace

std::string shownFromGbk(const std::string& gbk) {
    const char* english = englishOf(gbk);
    return english ? tr(english) : utf8FromGbk(gbk);
}

std::string shownCaption(const std::string& caption) {
    const char* english = englishOf(caption);
    return english ? tr(english) : utf8FromPath(caption);
}

}  // namespace vellora::linux_platform::text

namespace vellora::linux_platform {

std::string programFolder() {
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof self) return {};
    const std::string path(self, static_cast<std::size_t>(length));
    return path.substr(0, path.rfind('/') + 1);
}

}  // namespace vellora::linux_platform
