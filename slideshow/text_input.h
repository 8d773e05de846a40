// Reads a file the way the C++ stream library's text mode does on the target:
// CR LF and a lone LF end a line, a CR not followed by LF is an ordinary byte, and
// once one extraction fails every later one fails too. The first Ctrl-Z (0x1A)
// ends the text.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "slideshow/slide_state.h"

namespace vellora {

class TextInput {
public:
    // Lines hold at most `maxLineBytes`: on Windows a 260-byte buffer's 259.
    explicit TextInput(InputFile& file, std::size_t maxLineBytes = maxPathBytes)
        : file_(file), maxLineBytes_(maxLineBytes) {}

    // getline into a buffer of maxLineBytes + 1: at most maxLineBytes bytes are
    // kept, the line end is consumed and not kept. Fails when nothing was taken
    // before the end of the file, or when one byte more comes before the line end
    // (`line` then holds the first maxLineBytes bytes and the rest of the line stays
    // unread). A failed stream yields an empty line.
    bool readLine(std::string& line);

    // operator>> for a signed 32-bit number; `value` changes only on success.
    bool readNumber(std::int32_t& value);

    bool failed() const { return failed_; }

private:
    int peek();
    int get();
    int translated();
    int rawPeek();
    int rawGet();

    InputFile& file_;
    std::size_t maxLineBytes_;
    char buffer_[4096];
    std::size_t pos_ = 0;
    std::size_t size_ = 0;
    int lookahead_ = 0;
    bool hasLookahead_ = false;
    bool failed_ = false;
    bool atEnd_ = false;
    bool ctrlZSeen_ = false;
};

}  // namespace vellora
