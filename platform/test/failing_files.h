// Wraps any platform's Files and fails one chosen call of writing a file, so the
// same fault tests run on memory, on the local disk and on every real platform.
//
// Contract:
// - Every call goes through to the wrapped Files except the one chosen to fail:
//   a failing create makes nothing; a failing write passes half its bytes on and
//   reports failure, as a disk that fills part-way does; a failing flush reports
//   failure without flushing; a failing close closes the file and reports failure;
//   a failing replace leaves both files as they were.
// - `steps()` lists the output calls in the order they came, for enumerating them.
#pragma once

#include <memory>
#include <vector>

#include "platform/platform.h"
#include "platform/test/test_platform.h"

namespace vellora::test {

class FailingFiles : public Files {
public:
    explicit FailingFiles(Files& inner) : inner_(inner) {}

    std::unique_ptr<InputFile> openForReading(const std::string& path) override;
    std::unique_ptr<OutputFile> createForWriting(const std::string& path) override;
    bool replaceFile(const std::string& from, const std::string& to) override;
    bool removeFile(const std::string& path) override { return inner_.removeFile(path); }
    std::string windowsDirectory() override { return inner_.windowsDirectory(); }
    std::size_t longestPathBytes() override { return inner_.longestPathBytes(); }

    void failAt(OutputFault fault) { counter_.fault = fault; }
    const std::vector<OutputFault>& steps() const { return steps_; }
    // Counts the call and says whether it is the one to fail.
    bool failsNow(OutputStep step);

private:
    Files& inner_;
    FaultCounter counter_;
    std::vector<OutputFault> steps_;
    int seen_[outputStepCount] = {};
};

}  // namespace vellora::test
