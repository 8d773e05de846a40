// A settings save that fails at any one step (creating the temporary file, any
// write, any flush, the close, the replace) leaves the old file byte for byte, no
// temporary file, and tells the caller. The suite runs over every Files it is
// instantiated with: memory, the local disk through the test platform, and any
// platform's own Files added below.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "platform/test/failing_files.h"
#include "platform/test/test_platform.h"
#include "slideshow/settings_file.h"

namespace vellora {
namespace {

const std::string oldBytes = "C:\\old list.txt\r\n3\r\n7\r\n0 and bytes no reader looks at\r\n";
const Settings newSettings{"C:\\" + std::string(200, 'n') + ".txt", 12, 30, 1};
const char settingsName[] = "Tessaview.ini";

using Folder = std::map<std::string, std::string>;  // name to bytes

// One file system a save runs on, and a way to fail one step of the save there.
class SaveBench {
public:
    virtual ~SaveBench() = default;
    virtual Files& files() = 0;
    virtual void failAt(test::OutputFault fault) = 0;
    virtual void putSettingsFile(const std::string& bytes) = 0;
    virtual Folder windowsFolder() = 0;
};

class MemoryBench : public SaveBench {
public:
    Files& files() override { return memory_; }
    void failAt(test::OutputFault fault) override { memory_.faults.fault = fault; }
    void putSettingsFile(const std::string& bytes) override {
        memory_.files[memory_.windowsDir + "\\" + settingsName] = bytes;
    }
    Folder windowsFolder() override {
        Folder folder;
        const std::string prefix = memory_.windowsDir + "\\";
        for (const auto& [path, bytes] : memory_.files)
            if (path.rfind(prefix, 0) == 0) folder[path.substr(prefix.size())] = bytes;
        return folder;
    }

private:
    test::MemoryFiles memory_;
};

// A real folder; faults are injected around the Files under test.
using FilesMaker = std::function<std::unique_ptr<Files>(const std::string& windowsFolder)>;

class FolderBench : public SaveBench {
public:
    explicit FolderBench(const FilesMaker& make)
        : root_(makeRoot()), folder_(root_ + "/windows"), inner_((createFolder(), make(folder_))), failing_(*inner_) {}
    ~FolderBench() override {
        chmod(folder_.c_str(), 0755);
        std::filesystem::remove_all(root_);
    }
    Files& files() override { return failing_; }
    void failAt(test::OutputFault fault) override { failing_.failAt(fault); }
    void putSettingsFile(const std::string& bytes) override {
        std::ofstream(folder_ + "/" + settingsName, std::ios::binary) << bytes;
    }
    Folder windowsFolder() override {
        Folder folder;
        for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
            std::ostringstream bytes;
            bytes << std::ifstream(entry.path(), std::ios::binary).rdbuf();
            folder[entry.path().filename().string()] = bytes.str();
        }
        return folder;
    }
    const std::string& folder() const { return folder_; }

private:
    static std::string makeRoot() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vellora-save-XXXXXX").string();
        if (!mkdtemp(pattern.data())) return {};
        chmod(pattern.c_str(), 0755);  // an unprivileged child must reach the folder
        return pattern;
    }
    void createFolder() const { std::filesystem::create_directory(folder_); }

    std::string root_;
    std::string folder_;
    std::unique_ptr<Files> inner_;
    test::FailingFiles failing_;
};

const FilesMaker diskFiles = [](const std::string& folder) { return std::make_unique<test::DiskFiles>(folder); };

struct BenchKind {
    const char* name;
    std::function<std::unique_ptr<SaveBench>()> make;
};

void PrintTo(const BenchKind& kind, std::ostream* out) { *out << kind.name; }

std::string label(test::OutputFault fault, bool hadOldFile) {
    static const char* names[] = {"create", "write", "flush", "close", "replace"};
    return std::string(names[static_cast<int>(fault.step)]) + " #" + std::to_string(fault.number) +
           (hadOldFile ? " over an old file" : " with no old file");
}

class SaveFaults : public ::testing::TestWithParam<BenchKind> {
protected:
    // The output calls of a save that meets no fault, in order.
    std::vector<test::OutputFault> stepsOfACleanSave() {
        std::unique_ptr<SaveBench> bench = GetParam().make();
        bench->putSettingsFile(oldBytes);
        test::FailingFiles recorder(bench->files());
        test::TestPlatform platform({1024, 768, 320, 240}, &recorder, false);
        platform.install();
        EXPECT_TRUE(writeSettings(newSettings));
        return recorder.steps();
    }
};

TEST_P(SaveFaults, ASaveWithoutFaultsPutsTheNewFileInPlace) {
    std::unique_ptr<SaveBench> bench = GetParam().make();
    bench->putSettingsFile(oldBytes);
    test::TestPlatform platform({1024, 768, 320, 240}, &bench->files(), false);
    platform.install();
    EXPECT_TRUE(writeSettings(newSettings));
    EXPECT_EQ(bench->windowsFolder(), (Folder{{settingsName, encodeSettings(newSettings)}}));
}

TEST_P(SaveFaults, FailingAnyOneStepLeavesTheOldFileAndNoTemporaryFile) {
    const std::vector<test::OutputFault> steps = stepsOfACleanSave();
    for (test::OutputStep kind : {test::OutputStep::create, test::OutputStep::write, test::OutputStep::flush,
                                  test::OutputStep::close, test::OutputStep::replace})
        EXPECT_TRUE(std::any_of(steps.begin(), steps.end(), [&](auto s) { return s.step == kind; }))
            << "a clean save has no " << label({kind, 1}, true);
    for (bool hadOldFile : {true, false}) {
        for (test::OutputFault step : steps) {
            std::unique_ptr<SaveBench> bench = GetParam().make();
            if (hadOldFile) bench->putSettingsFile(oldBytes);
            const Folder before = bench->windowsFolder();
            test::TestPlatform platform({1024, 768, 320, 240}, &bench->files(), false);
            platform.install();
            bench->failAt(step);
            EXPECT_FALSE(writeSettings(newSettings)) << label(step, hadOldFile) << ": the caller was not told";
            EXPECT_EQ(bench->windowsFolder(), before) << label(step, hadOldFile);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Files, SaveFaults,
                         ::testing::Values(BenchKind{"Memory", [] { return std::make_unique<MemoryBench>(); }},
                                           BenchKind{"Disk", [] { return std::make_unique<FolderBench>(diskFiles); }}),
                         [](const auto& info) { return std::string(info.param.name); });

// Failures a real file system makes by itself, each in a child process so its
// limits and privileges stay there.
struct FolderKind {
    const char* name;
    FilesMaker make;
};

void PrintTo(const FolderKind& kind, std::ostream* out) { *out << kind.name; }

class RealFolderSave : public ::testing::TestWithParam<FolderKind> {
protected:
    // Runs a save in a child process after `prepare`; what the save reported, or
    // nothing if the child did not finish normally.
    std::optional<bool> saveInChild(FolderBench& bench, const std::function<bool()>& prepare) {
        test::TestPlatform platform({1024, 768, 320, 240}, &bench.files(), false);
        platform.install();
        const pid_t child = fork();
        if (child == 0) _exit(!prepare() ? 3 : writeSettings(newSettings) ? 1 : 0);
        int status = 0;
        if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) > 1)
            return std::nullopt;
        return WEXITSTATUS(status) == 1;
    }
};

TEST_P(RealFolderSave, AReadOnlyFolderRefusesTheSave) {
    FolderBench bench(GetParam().make);
    bench.putSettingsFile(oldBytes);
    const Folder before = bench.windowsFolder();
    ASSERT_EQ(chmod(bench.folder().c_str(), 0555), 0);
    // Permissions do not bind the superuser, so the child gives its rights up first.
    const std::optional<bool> saved = saveInChild(bench, [] {
        return geteuid() != 0 || (setgid(65534) == 0 && setuid(65534) == 0);
    });
    EXPECT_EQ(saved, false);
    EXPECT_EQ(bench.windowsFolder(), before);
}

TEST_P(RealFolderSave, AFileSizeLimitStopsTheSaveAtAnyByte) {
    const std::size_t size = encodeSettings(newSettings).size();
    for (rlim_t limit : {rlim_t{0}, rlim_t{1}, rlim_t{20}, rlim_t{size / 2}, rlim_t{size - 1}}) {
        FolderBench bench(GetParam().make);
        bench.putSettingsFile(oldBytes);
        const Folder before = bench.windowsFolder();
        const std::optional<bool> saved = saveInChild(bench, [limit] {
            const rlimit fileSize{limit, limit};
            // Past the limit a write then fails with EFBIG instead of killing the process.
            return signal(SIGXFSZ, SIG_IGN) != SIG_ERR && setrlimit(RLIMIT_FSIZE, &fileSize) == 0;
        });
        EXPECT_EQ(saved, false) << "limit " << limit;
        EXPECT_EQ(bench.windowsFolder(), before) << "limit " << limit;
    }
}

INSTANTIATE_TEST_SUITE_P(Files, RealFolderSave, ::testing::Values(FolderKind{"Disk", diskFiles}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vellora
