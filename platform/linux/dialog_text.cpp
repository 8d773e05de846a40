#include "platform/linux/dialog_text.h"

#include <errno.h>
#include <glib.h>
#include <iconv.h>

#include <algorithm>
#include <cctype>

namespace vellora::linux_platform::text {
namespace {

const char replacementCharacter[] = "\xEF\xBF\xBD";

// Length of the UTF-8 sequence that starts with `lead`; 1 for a stray byte.
std::size_t utf8Length(unsigned char lead) {
    if (lead >= 0xF0 && lead < 0xF8) return 4;
    if (lead >= 0xE0) return lead < 0xF0 ? 3 : 1;
    if (lead >= 0xC0) return 2;
    return 1;
}

std::size_t gbkLength(unsigned char lead) { return lead >= 0x81 && lead <= 0xFE ? 2 : 1; }

// The longest prefix of whole characters within maxBytes, `lengthOf` telling each
// character's length from its first byte.
std::string cutWhole(const std::string& text, std::size_t maxBytes, std::size_t (*lengthOf)(unsigned char)) {
    std::size_t end = 0;
    while (end < text.size()) {
        const std::size_t next = end + lengthOf(static_cast<unsigned char>(text[end]));
        if (next > maxBytes || next > text.size()) break;
        end = next;
    }
    return text.substr(0, end);
}

// Converts with iconv; at a byte sequence the target cannot take, appends
// `substitute` and skips the character the source's `length` measures.
std::string convert(const char* to, const char* from, const std::string& input, const char* substitute,
                    std::size_t (*length)(unsigned char)) {
    iconv_t converter = iconv_open(to, from);
    if (converter == reinterpret_cast<iconv_t>(-1)) return input;
    std::string out;
    char buffer[256];
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    while (inLeft > 0) {
        char* put = buffer;
        std::size_t room = sizeof buffer;
        const std::size_t result = iconv(converter, &in, &inLeft, &put, &room);
        out.append(buffer, static_cast<std::size_t>(put - buffer));
        if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
            const std::size_t skip = std::min(length(static_cast<unsigned char>(*in)), inLeft);
            out += substitute;
            in += skip;
            inLeft -= skip;
        }
    }
    iconv_close(converter);
    return out;
}

std::size_t oneByte(unsigned char) { return 1; }

}  // namespace

std::string utf8FromGbk(const std::string& gbk) { return convert("UTF-8", "GBK", gbk, replacementCharacter, oneByte); }

std::string gbkFromUtf8(const std::string& utf8) { return convert("GBK", "UTF-8", utf8, "?", utf8Length); }

std::string utf8FromPath(const std::string& path) {
    gchar* shown = g_filename_display_name(path.c_str());
    std::string result = shown ? shown : "";
    g_free(shown);
    return result;
}

std::string pathFromUtf8(const std::string& utf8) {
    gsize written = 0;
    gchar* bytes = g_filename_from_utf8(utf8.c_str(), -1, nullptr, &written, nullptr);
    if (!bytes) return utf8;
    std::string result(bytes, written);
    g_free(bytes);
    return result;
}

std::string cutGbk(const std::string& gbk, std::size_t maxBytes) { return cutWhole(gbk, maxBytes, gbkLength); }

std::string cutUtf8(const std::string& utf8, std::size_t maxBytes) { return cutWhole(utf8, maxBytes, utf8Length); }

std::int32_t signedIntFromText(const std::string& text) {
    std::size_t at = 0;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
    if (at == text.size()) return 0;
    std::int64_t value = 0;
    for (; at < text.size(); ++at) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        if (c < '0' || c > '9') return 0;
        value = value * 10 + (c - '0');
        if (value > std::int64_t{INT32_MAX} + 1) return 0;
    }
    if (negative) value = -value;
    return value < INT32_MIN || value > INT32_MAX ? 0 : static_cast<std::int32_t>(value);
}

}  // namespace vellora::linux_platform::text
