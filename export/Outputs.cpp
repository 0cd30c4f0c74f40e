#include "export/Outputs.h"

#include "export/OutputFile.h"

#include <cerrno>
#include <string_view>

namespace corvane {

namespace {

class TFileOutput final : public IOutput {
public:
    explicit TFileOutput(const std::string& finalName) : file_(finalName) {}
    void Write(std::string_view bytes) override { file_.Write(bytes); }
    void Commit() override { file_.Commit(); }

private:
    TOutputFile file_;
};

// The descriptor is written in pieces of this size, so that a long run of small writes costs few calls.
constexpr std::size_t kStdoutBufferBytes = std::size_t{64} << 10;

// Abandoned without Commit, the bytes already handed on stay written and the rest are dropped.
class TDescriptorOutput final : public IOutput {
public:
    TDescriptorOutput(int fd, const std::string& name) : fd_(fd), name_(name) {
        buffer_.reserve(kStdoutBufferBytes);
    }
    void Write(std::string_view bytes) override {
        if (buffer_.size() + bytes.size() > kStdoutBufferBytes) {
            Flush();
        }
        if (bytes.size() >= kStdoutBufferBytes) {
            WriteToDescriptor(fd_, bytes, name_);
        } else {
            buffer_.append(bytes);
        }
    }
    void Commit() override { Flush(); }

private:
    void Flush() {
        if (!buffer_.empty()) {
            const std::string pending = std::move(buffer_);
            buffer_.clear();
            buffer_.reserve(kStdoutBufferBytes);
            WriteToDescriptor(fd_, pending, name_);
        }
    }

    int fd_;
    std::string name_;
    std::string buffer_;
};

} // namespace

class TMemoryOutput final : public IOutput {
public:
    TMemoryOutput(TMemoryOutputTarget& target, std::string finalName)
        : target_(target), finalName_(std::move(finalName)) {
        ++target_.open_;
    }
    ~TMemoryOutput() override {
        if (!committed_) {
            --target_.open_;
        }
    }

    void Write(std::string_view bytes) override { bytes_.append(bytes); }
    void Commit() override {
        if (committed_) {
            throw EInOutError(EBADF, "Output already committed", finalName_);
        }
        committed_ = true;
        --target_.open_;
        target_.committed_[finalName_] = std::move(bytes_);
    }

private:
    TMemoryOutputTarget& target_;
    std::string finalName_;
    std::string bytes_;
    bool committed_ = false;
};

std::unique_ptr<IOutput> TFileOutputTarget::Create(const std::string& finalName) {
    const std::size_t slash = finalName.rfind('/');
    const std::string directory =
        slash == std::string::npos ? std::string(".") : finalName.substr(0, slash + 1);
    if (cleaned_.insert(directory).second) {
        RemoveAbandonedTemporaries(directory);
    }
    return std::make_unique<TFileOutput>(finalName);
}

std::unique_ptr<IOutput> TMemoryOutputTarget::Create(const std::string& finalName) {
    return std::make_unique<TMemoryOutput>(*this, finalName);
}

std::unique_ptr<IOutput> TStdoutOutputTarget::Create(const std::string& /*finalName*/) {
    return std::make_unique<TDescriptorOutput>(fd_, name_);
}

} // namespace corvane
