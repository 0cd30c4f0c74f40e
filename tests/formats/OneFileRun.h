#pragma once
// The export run of a one-file format for the tests of its writer: RunExport with a registry that holds
// only that writer's factory, into fileName (through output when given, the file system otherwise).

#include "export/ExportRun.h"
#include "export/TypedExport.h"

#include <string>
#include <utility>
#include <vector>

namespace corvane::testing {

inline TRunResult RunOneFile(TOutputFormat format, TOneFileWriterFactory factory, TDEInfoRec& database,
                             const TExportPlan& plan, TExportOptions options, const std::string& fileName,
                             IOutputTarget* output = nullptr) {
    TFormatRegistry registry;
    registry.Add(format, std::move(factory));
    options.Format = format;
    options.Destination = fileName;
    TRunSetup setup;
    setup.Output = output;
    setup.Formats = &registry;
    IExportObserver observer;
    return RunExport(database, plan, options, observer, setup);
}

// Hands a scan's rows to a writer, for tests that stop before the run would end.
class TWriterSink final : public TTypedSink {
public:
    explicit TWriterSink(IOneFileWriter& writer) : writer_(writer) {}
    void BeginForm(const TTypedForm& form) override {
        form_ = form;
        writer_.BeginForm(form_);
    }
    void Row(const TTypedForm& /*form*/, const std::vector<TTypedValue>& values, bool deleted) override {
        writer_.Row(form_, values, deleted);
    }

private:
    IOneFileWriter& writer_;
    TTypedForm form_;
};

} // namespace corvane::testing
