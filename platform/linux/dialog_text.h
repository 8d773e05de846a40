// Text at the boundary between the core's byte strings and a UTF-8 toolkit.
//
// Contract:
// - The core's texts are GBK bytes; the toolkit's are UTF-8. utf8FromGbk never
//   fails: a byte that starts no GBK character shows as U+FFFD. gbkFromUtf8 writes
//   '?' for a character GBK cannot hold, as the ANSI conversion of the target does.
// - Paths are not texts here: the settings file keeps the image list's path as the
//   file system's own bytes, which the show opens unconverted. utf8FromPath shows
//   them in the file-name encoding (UTF-8 unless G_FILENAME_ENCODING says otherwise),
//   with U+FFFD for bytes that are not valid in it; pathFromUtf8 gives the file
//   system's bytes for typed text (the UTF-8 itself when that encoding cannot hold it).
// - The cut functions keep at most `maxBytes` bytes and never split a character.
// - Nothing here needs a display or throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vellora::linux_platform::text {

std::string utf8FromGbk(const std::string& gbk);
std::string gbkFromUtf8(const std::string& utf8);
std::string utf8FromPath(const std::string& path);
std::string pathFromUtf8(const std::string& utf8);

std::string cutGbk(const std::string& gbk, std::size_t maxBytes);
std::string cutUtf8(const std::string& utf8, std::size_t maxBytes);

// A dialog field's text as a signed 32-bit number: optional leading white space
// and sign, then decimal digits to the end; 0 for anything else or out of range.
std::int32_t signedIntFromText(const std::string& text);

}  // namespace vellora::linux_platform::text
