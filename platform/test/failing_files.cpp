#include "platform/test/failing_files.h"

namespace vellora::test {
namespace {

class FailingOutput : public OutputFile {
public:
    FailingOutput(FailingFiles& owner, std::unique_ptr<OutputFile> inner) : owner_(owner), inner_(std::move(inner)) {}
    bool write(const char* data, std::size_t size) override {
        if (!owner_.failsNow(OutputStep::write)) return inner_->write(data, size);
        inner_->write(data, size / 2);
        return false;
    }
    bool flush() override { return !owner_.failsNow(OutputStep::flush) && inner_->flush(); }
    bool close() override {
        const bool failing = owner_.failsNow(OutputStep::close);
        return inner_->close() && !failing;
    }

private:
    FailingFiles& owner_;
    std::unique_ptr<OutputFile> inner_;
};

}  // namespace

bool FailingFiles::failsNow(OutputStep step) {
    steps_.push_back({step, ++seen_[static_cast<int>(step)]});
    return counter_.failsNow(step);
}

std::unique_ptr<InputFile> FailingFiles::openForReading(const std::string& path) {
    return inner_.openForReading(path);
}

std::unique_ptr<OutputFile> FailingFiles::createForWriting(const std::string& path) {
    if (failsNow(OutputStep::create)) return nullptr;
    std::unique_ptr<OutputFile> file = inner_.createForWriting(path);
    if (!file) return nullptr;
    return std::make_unique<FailingOutput>(*this, std::move(file));
}

bool FailingFiles::replaceFile(const std::string& from, const std::string& to) {
    return !failsNow(OutputStep::replace) && inner_.replaceFile(from, to);
}

}  // namespace vellora::test
