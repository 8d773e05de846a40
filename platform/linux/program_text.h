// The program's texts in the session's language (gettext, domain "vellora").
//
// Contract:
// - The source language is English: every text the Linux program shows is an
//   English text passed through tr(), marked for xgettext with tr() or N_().
//   LANGUAGE, LC_ALL, LC_MESSAGES and LANG choose the catalogue as gettext does;
//   without one for the session's language the English text is shown.
// - startTranslations() sets the locale from the environment and binds the domain
//   to the folder "locale" beside the running program when there is one (a build
//   folder), else to the installed one. Call it once, before the first tr().
// - The core's own texts are GBK bytes (resources/gbk_text.h). coreTexts pairs each
//   with its English text; the zh_CN catalogue gives for each exactly the Chinese
//   of its GBK original. shownFromGbk shows a core text in the session's language
//   and any other bytes converted as they are (text::utf8FromGbk).
// - Nothing here needs a display or throws.
#pragma once

#include <cstddef>
#include <string>

// Marks a text for xgettext where it is not translated on the spot.
#define N_(english) english

namespace vellora::linux_platform::text {

inline constexpr const char* textDomain = "vellora";

void startTranslations();
// The folder whose LANG/LC_MESSAGES/vellora.mo are read.
std::string catalogueFolder();

const char* tr(const char* english);

struct CoreText {
    const char* gbk;
    const char* english;
};
extern const CoreText coreTexts[];
extern const std::size_t coreTextCount;

// A core text (GBK) in the session's language; other bytes converted from GBK.
std::string shownFromGbk(const std::string& gbk);
// A message box's caption: a core caption in the session's language, else a path
// of the settings folder as this system shows it.
std::string shownCaption(const std::string& caption);

}  // namespace vellora::linux_platform::text

namespace vellora::linux_platform {

// The folder this program runs from, ending in '/'; empty where the system does not
// say. A build keeps the catalogues, the decoder and its other programs there.
std::string programFolder();

}  // namespace vellora::linux_platform
