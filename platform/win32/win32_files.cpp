// Files and the clock.
#include <windows.h>

#include <ctime>
#include <string>

#include "platform/win32/win32_internal.h"

namespace vellora::win32 {
namespace {

class HandleInput : public InputFile {
public:
    explicit HandleInput(HANDLE h) : h_(h) {}
    ~HandleInput() override { CloseHandle(h_); }
    std::size_t read(char* buffer, std::size_t size) override {
        DWORD got = 0;
        if (!ReadFile(h_, buffer, static_cast<DWORD>(size), &got, nullptr)) return 0;
        return got;
    }

private:
    HANDLE h_;
};

class HandleOutput : public OutputFile {
public:
    explicit HandleOutput(HANDLE h) : h_(h) {}
    ~HandleOutput() override {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    bool write(const char* data, std::size_t size) override {
        DWORD put = 0;
        return WriteFile(h_, data, static_cast<DWORD>(size), &put, nullptr) && put == size;
    }
    bool flush() override { return FlushFileBuffers(h_) != 0; }
    bool close() override {
        const bool ok = CloseHandle(h_) != 0;
        h_ = INVALID_HANDLE_VALUE;
        return ok;
    }

private:
    HANDLE h_;
};

class Win32Files : public Files {
public:
    std::unique_ptr<InputFile> openForReading(const std::string& path) override {
        // Shared for writing too, as the runtime's streams open files: a list that an
        // editor or the tool that wrote it still holds open must stay readable.
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return nullptr;
        return std::make_unique<HandleInput>(h);
    }
    std::unique_ptr<OutputFile> createForWriting(const std::string& path) override {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return nullptr;
        return std::make_unique<HandleOutput>(h);
    }
    bool replaceFile(const std::string& from, const std::string& to) override {
        if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
        if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return false;
        // Windows 95/98/Me have no replacing move: set the old file aside until the
        // new one stands in its place, and put it back if that fails.
        const std::string aside = to.substr(0, to.size() - 3) + "bak";
        DeleteFileA(aside.c_str());
        const bool hadOld = MoveFileA(to.c_str(), aside.c_str()) != 0;
        if (!hadOld && GetLastError() != ERROR_FILE_NOT_FOUND) return false;
        if (MoveFileA(from.c_str(), to.c_str())) {
            DeleteFileA(aside.c_str());
            return true;
        }
        if (hadOld) MoveFileA(aside.c_str(), to.c_str());
        return false;
    }
    bool removeFile(const std::string& path) override {
        if (DeleteFileA(path.c_str())) return true;
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) ||
            !(attributes & FILE_ATTRIBUTE_READONLY))
            return false;
        SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
        return DeleteFileA(path.c_str()) != 0;
    }
    std::string windowsDirectory() override {
        char buffer[MAX_PATH];
        const UINT n = GetWindowsDirectoryA(buffer, MAX_PATH);
        // A directory too long for the buffer makes a path that cannot be opened.
        if (n >= MAX_PATH) return std::string(n, '?');
        return std::string(buffer, n);
    }
};

class Win32Clock : public Clock {
public:
    void sleep(std::uint32_t milliseconds) override { Sleep(milliseconds); }
    std::int64_t calendarSeconds() override { return static_cast<std::int64_t>(std::time(nullptr)); }
    std::uint32_t tickCount() override { return GetTickCount(); }
};

}  // namespace

Files& files() {
    static Win32Files files;
    return files;
}

Clock& clock() {
    static Win32Clock clock;
    return clock;
}

}  // namespace vellora::win32
