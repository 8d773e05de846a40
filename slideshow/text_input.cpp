#include "slideshow/text_input.h"

#include "slideshow/slide_state.h"

namespace vellora {
namespace {
constexpr int endOfFile = -1;
constexpr char ctrlZ = 0x1A;

bool isSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool isDigit(int c) { return c >= '0' && c <= '9'; }
}  // namespace

int TextInput::rawPeek() {
    if (ctrlZSeen_) return endOfFile;
    if (pos_ == size_) {
        size_ = file_.read(buffer_, sizeof buffer_);
        pos_ = 0;
        if (size_ == 0) return endOfFile;
    }
    // The runtime's text streams end the text at the first Ctrl-Z, as DOS did.
    if (buffer_[pos_] == ctrlZ) {
        ctrlZSeen_ = true;
        return endOfFile;
    }
    return static_cast<unsigned char>(buffer_[pos_]);
}

int TextInput::rawGet() {
    int c = rawPeek();
    if (c != endOfFile) ++pos_;
    return c;
}

int TextInput::translated() {
    int c = rawGet();
    if (c == '\r' && rawPeek() == '\n') return rawGet();
    return c;
}

int TextInput::peek() {
    if (!hasLookahead_) {
        lookahead_ = translated();
        hasLookahead_ = true;
    }
    return lookahead_;
}

int TextInput::get() {
    int c = peek();
    hasLookahead_ = false;
    return c;
}

bool TextInput::readLine(std::string& line) {
    line.clear();
    if (failed_ || atEnd_) {
        failed_ = true;
        return false;
    }
    for (;;) {
        int c = peek();
        if (c == endOfFile) {
            atEnd_ = true;
            if (line.empty()) failed_ = true;
            return !failed_;
        }
        if (c == '\n') {
            get();
            return true;
        }
        if (line.size() == maxLineBytes_) {
            failed_ = true;  // the byte beyond the buffer stays unread
            return false;
        }
        line.push_back(static_cast<char>(get()));
    }
}

bool TextInput::readNumber(std::int32_t& value) {
    if (failed_ || atEnd_) {
        failed_ = true;
        return false;
    }
    int c = peek();
    while (c != endOfFile && isSpace(c)) {
        get();
        c = peek();
    }
    if (c == endOfFile) {
        atEnd_ = failed_ = true;
        return false;
    }
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        get();
        c = peek();
    }
    if (!isDigit(c)) {
        if (c == endOfFile) atEnd_ = true;
        failed_ = true;
        return false;
    }
    std::int64_t magnitude = 0;
    bool overflow = false;
    while (isDigit(c)) {
        get();
        if (!overflow) {
            magnitude = magnitude * 10 + (c - '0');
            if (magnitude > 2147483648LL) overflow = true;
        }
        c = peek();
    }
    if (c == endOfFile) atEnd_ = true;
    std::int64_t result = negative ? -magnitude : magnitude;
    if (overflow || result > 2147483647LL) {
        failed_ = true;
        return false;
    }
    value = static_cast<std::int32_t>(result);
    return true;
}

}  // namespace vellora
