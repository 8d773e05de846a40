#include "slideshow/settings_file.h"

#include "slideshow/text_input.h"

namespace vellora {
namespace {

const char fileName[] = "\\Tessaview.ini";
const char temporaryName[] = "\\Tessaview.new";

bool fitsPathBuffer(const std::string& path) { return path.size() <= longestPathBytes(); }

// Text mode on the target writes every LF as CR LF.
void appendTextMode(std::string& out, const std::string& text) {
    for (char c : text) {
        if (c == '\n') out.push_back('\r');
        out.push_back(c);
    }
}

bool writeWhole(OutputFile& file, const std::string& bytes) {
    // Flush after each line end, as the stream does, and check every step.
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t lineEnd = bytes.find('\n', start);
        std::size_t end = lineEnd == std::string::npos ? bytes.size() : lineEnd + 1;
        if (!file.write(bytes.data() + start, end - start)) return false;
        if (lineEnd != std::string::npos && !file.flush()) return false;
        start = end;
    }
    return file.flush();
}

}  // namespace

std::string settingsFilePath() { return platform().files->windowsDirectory() + fileName; }

std::unique_ptr<InputFile> openSettingsFile() {
    std::string path = settingsFilePath();
    if (!fitsPathBuffer(path)) return nullptr;
    return platform().files->openForReading(path);
}

void readSettings(InputFile& file, Settings& settings) {
    TextInput in(file, longestPathBytes());
    std::string path;
    bool pathRead = in.readLine(path);
    // A line too long for the buffer still leaves the bytes that fit.
    if (pathRead || !path.empty()) settings.imageListPath = path;
    in.readNumber(settings.effectIndex);
    in.readNumber(settings.delaySeconds);
    in.readNumber(settings.randomOrder);
}

std::string encodeSettings(const Settings& settings) {
    std::string out;
    std::string path = settings.imageListPath.substr(0, settings.imageListPath.find('\0'));
    appendTextMode(out, path);
    out += "\r\n" + std::to_string(settings.effectIndex) + "\r\n" + std::to_string(settings.delaySeconds) + "\r\n" +
           std::to_string(settings.randomOrder);
    return out;
}

bool writeSettings(const Settings& settings) {
    Files& files = *platform().files;
    std::string directory = files.windowsDirectory();
    std::string target = directory + fileName;
    std::string temporary = directory + temporaryName;
    if (!fitsPathBuffer(target) || !fitsPathBuffer(temporary)) return false;

    // A save interrupted by a power loss may have left its temporary file behind,
    // perhaps read-only (copied from a CD, or by a backup tool); it must not block
    // every save after it.
    files.removeFile(temporary);
    std::unique_ptr<OutputFile> file = files.createForWriting(temporary);
    if (!file) return false;
    bool written = writeWhole(*file, encodeSettings(settings));
    bool closed = file->close();
    file.reset();
    if (written && closed && files.replaceFile(temporary, target)) return true;
    files.removeFile(temporary);
    return false;
}

}  // namespace vellora
