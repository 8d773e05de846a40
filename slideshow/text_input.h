// Reads a file the way the C++ stream library's text mode does on the target:
// CR LF and a lone LF end a line, a CR not followed by LF is an ordinary byte, and
// once one extraction fails every later one fails too. The first Ctrl-Z (0x1A)
// ends the text.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace vellora {

class TextInput {
public:
    explicit TextInput(InputFile& file) : file_(file) {}

    // getline into a 260-byte buffer: at most 259 bytes are kept, the line end is
    // consumed and not kept. Fails when nothing was taken before the end of the
    // file, or when a 260th byte comes before the line end (`line` then holds the
    // first 259 bytes and the rest of the line stays unread). A failed stream
    // yields an empty line.
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
