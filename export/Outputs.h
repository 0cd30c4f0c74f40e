#pragma once
// The places an export run writes to: files (each through a TOutputFile), standard output, and memory.

#include "export/ExportRun.h"

#include <map>
#include <memory>
#include <set>
#include <string>

namespace corvane {

// Each output a TOutputFile: written to a temporary beside its final name and renamed over it when committed.
// The first output created in a directory first removes that directory's abandoned temporaries (once per
// directory for the life of the target, so one target per run lists each directory once).
class TFileOutputTarget final : public IOutputTarget {
public:
    // Throws EInOutError when the file cannot be created, or when finalName is an existing directory, FIFO,
    // device or socket.
    std::unique_ptr<IOutput> Create(const std::string& finalName) override;
    bool WritesFiles() const override { return true; }

private:
    std::set<std::string> cleaned_;
};

// Outputs kept in memory; a committed output is kept under its final name (committed again under one name,
// the last one is kept). For tests and fuzzing.
class TMemoryOutputTarget final : public IOutputTarget {
public:
    std::unique_ptr<IOutput> Create(const std::string& finalName) override;
    bool WritesFiles() const override { return false; }

    // Final name -> bytes of every committed output.
    const std::map<std::string, std::string>& Committed() const { return committed_; }
    // Outputs created and not (yet) committed.
    std::size_t Open() const { return open_; }

private:
    friend class TMemoryOutput;
    std::map<std::string, std::string> committed_;
    std::size_t open_ = 0;
};

// Every output written straight to one descriptor (standard output by default) as it comes: there is no
// older file to keep, and what was written stays written when an output is abandoned. A write that fails
// (a closed pipe included) throws EOutputWriteError.
class TStdoutOutputTarget final : public IOutputTarget {
public:
    explicit TStdoutOutputTarget(int fd = 1, std::string name = "<standard output>")
        : fd_(fd), name_(std::move(name)) {}
    std::unique_ptr<IOutput> Create(const std::string& finalName) override;
    bool WritesFiles() const override { return false; }

private:
    int fd_;
    std::string name_;
};

} // namespace corvane
