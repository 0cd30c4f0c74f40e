#include "ui/logic/MainWindow.h"

#include "environment/Environment.h"
#include "environment/IniFile.h"
#include "export/DataFile.h"
#include "export/ExportRun.h"
#include "text/TextUtils.h"
#include "ui/logic/Handlers.h"

#include <algorithm>
#include <map>
#include <vector>

namespace corvane::ui {

namespace {
constexpr const char* kSettingsSection = "paths";
constexpr const char* kDateKeys[] = {"british", "american", "metric"};
constexpr const char* kNumericNullKeys[] = {"zero", "blank"};
// A failed run's message lists this many forms' errors; the strip holds them all.
constexpr std::size_t kFailuresShown = 8;

// The DataEase program directory variable: "depath", or "DEPATH" where names tell case apart.
std::string DEPathVariable(const IProcess& process) {
    const std::string value = process.GetEnv("depath");
    return value.empty() ? process.GetEnv("DEPATH") : value;
}
} // namespace

std::vector<TFormatChoice> FormatChoices(const TFormatRegistry& formats) {
    const TFormatChoice all[] = {
        {TOutputFormat::Delimited, "Delimited text", ""},
        {TOutputFormat::Sqlite, "SQLite database", "sqlite"},
        {TOutputFormat::Jsonl, "JSON Lines", ""},
        {TOutputFormat::Xlsx, "Workbook (xlsx)", "xlsx"},
        {TOutputFormat::PostgreSql, "PostgreSQL script", "sql"},
    };
    std::vector<TFormatChoice> choices;
    for (const TFormatChoice& choice : all) {
        if (!IsOneFileFormat(choice.Format) || formats.Find(choice.Format) != nullptr) {
            choices.push_back(choice);
        }
    }
    return choices;
}

std::vector<TCharactersChoice> CharactersChoices() {
    using TKind = TCharactersChoice::TKind;
    std::vector<TCharactersChoice> choices = {
        {TKind::Stored, TCodePage::Raw, "As stored", "stored"},
        {TKind::VersionDefault, TCodePage::Raw, "UTF-8 from the version's code page", "default"},
    };
    // Every code page the library converts from, in its own order.
    const std::string_view names = CodePageNames();
    for (std::size_t start = 0; start < names.size();) {
        std::size_t end = names.find(", ", start);
        if (end == std::string_view::npos) {
            end = names.size();
        }
        const std::string_view name = names.substr(start, end - start);
        const std::optional<TCodePage> page = CodePageByName(name);
        if (page && *page != TCodePage::Raw) {
            choices.push_back({TKind::CodePage, *page, "UTF-8 from " + std::string(name), std::string(name)});
        }
        start = end + 2;
    }
    return choices;
}

std::string SuggestedFileStem(const std::string& databaseName) {
    std::string stem;
    for (const char c : databaseName) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                          c == ' ' || c == '-' || c == '_';
        stem += keep ? c : '_';
    }
    const auto first = stem.find_first_not_of(' ');
    if (first == std::string::npos) {
        return "corvane";
    }
    stem = stem.substr(first, stem.find_last_not_of(' ') - first + 1);
    return stem.find_first_not_of('_') == std::string::npos ? "corvane" : stem;
}

std::optional<std::string> RecordSelection(bool live, bool deleted) {
    if (live && deleted) {
        return std::string("=A");
    }
    if (deleted) {
        return std::string("=D");
    }
    if (live) {
        return std::string();
    }
    return std::nullopt;
}

TForm1::TForm1(TMainWindowControls controls, TDatabaseSelectionDialogue& selection, IModalDialogs& dialogs,
               IMessageBox& messageBox, IProgress& progress, const IProcess& process, TFormatRegistry formats)
    : Controls(controls), selection_(selection), dialogs_(dialogs), messageBox_(messageBox),
      progress_(progress), process_(process), formats_(std::move(formats)),
      formatChoices_(FormatChoices(formats_)), charactersChoices_(CharactersChoices()) {}

void TForm1::FormCreate() {
    ActiveDatabase = std::make_unique<TDEInfoRec>();
    ActiveDatabase->SetDEPath(DEPathVariable(process_));

    const TIniFile settings(process_.SettingsFileName());
    const std::string home = process_.HomeDirectory();
    Controls.DirectoryEdit->SetText(settings.ReadString(kSettingsSection, "destination", home));
    SourceDirectory = settings.ReadString(kSettingsSection, "source", home);
    Controls.SelectFolderDialog->SetTopFolder(Controls.DirectoryEdit->GetText());
    ReadExportSettings(settings);

    // Already filled at start-up; this call changes nothing.
    InitEnvironment(0);
    Controls.Window->SetTitle(Controls.Window->GetTitle() + " Build:" + Environment.BuildStamp);
}

void TForm1::FormActivate() {
    if (aboutShown_) {
        return;
    }
    aboutShown_ = true;
    dialogs_.ShowAbout();
}

void TForm1::Button1Click() {
    if (!ActiveDatabase) {
        return; // the window has closed
    }
    selection_.SetStartDirectory(SourceDirectory);
    dialogs_.ShowDatabaseSelection();
    SourceDirectory = selection_.SearchDirectory;
    if (selection_.SelectedFile.empty()) {
        Controls.Window->Close();
        return;
    }
    Controls.Window->SetTitle(selection_.SearchDirectory + selection_.SelectedFile);

    TDEInfoRec& database = *ActiveDatabase;
    database.SetDirectory(selection_.SearchDirectory);
    database.SetDictionaryName(selection_.SelectedFile);
    try {
        database.Load();
    } catch (...) {
        // No line of the previous database may stay on screen once its forms are gone.
        Controls.ListBox1->Clear();
        throw;
    }
    database.SetDEPath(
        DEPathForVersion(database.GetVersion(), DEPathVariable(process_), process_.ProgramDirectory()));

    ICheckList& list = *Controls.ListBox1;
    list.Clear();
    list.SetSorted(true);
    for (const TFormRec* form : ListedForms(database)) {
        list.AddLine(FormListLine(*form));
    }
    list.Repaint();
    list.SetFocus();
    Controls.Window->SetTitle("DataEase Data Extraction: " + database.GetDisplayName());
}

void TForm1::Button2Click() {
    Controls.Window->Close();
}

void TForm1::CheckBox1Click() {
    const bool ticked = Controls.CheckBox1->IsChecked();
    ICheckList& list = *Controls.ListBox1;
    for (int i = 0; i < list.Count(); ++i) {
        const TFormRec* form = ActiveDatabase ? ActiveDatabase->FindForm(list.LineText(i)) : nullptr;
        if (form && form->VariantLevel == 0) {
            list.SetTicked(i, ticked);
        }
    }
}

namespace {

std::string Lowered(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return text;
}

// The index of value among keys (without regard to ASCII case), or nullopt.
template <typename Keys, typename KeyOf>
std::optional<int> IndexOfKey(const Keys& keys, const std::string& value, KeyOf keyOf) {
    const std::string wanted = Lowered(value);
    int index = 0;
    for (const auto& key : keys) {
        if (Lowered(std::string(keyOf(key))) == wanted) {
            return index;
        }
        ++index;
    }
    return std::nullopt;
}

std::optional<bool> FlagOf(const std::string& value) {
    if (value == "1") {
        return true;
    }
    if (value == "0") {
        return false;
    }
    return std::nullopt;
}

// The run as the window shows it: progress in its progress indication, an output that cannot be created in a
// message box, and the lines for the strip: the run's diagnostics, each failed form by its error.
class TWindowObserver final : public IExportObserver {
public:
    TWindowObserver(IProgress& progress, IMessageBox& messageBox)
        : progress_(progress), messageBox_(messageBox) {}

    void FormStarted(std::size_t index, std::size_t count, const TPlanItem& item) override {
        FlushForm();
        progress_.FormStarted(static_cast<int>(index), static_cast<int>(count), item.Label);
    }
    void Records(std::int64_t done, std::int64_t total) override { progress_.Records(done, total); }
    void Message(const std::string& line) override { formLines_.push_back(line); }
    void FormFailed(const TFormResult& result) override {
        // The form's own diagnostics ("Table X doesn't exist." for a form whose definition holds no field)
        // give way to the error that says what went wrong.
        formLines_.clear();
        failures_.push_back(FailureLine(result));
        formLines_.push_back(failures_.back());
        if (result.OutputError && result.Found) {
            std::string text = "IO Error: " + std::to_string(result.ErrorCode);
            text += "\n" + failures_.back();
            messageBox_.ShowMessage(text);
        }
    }
    bool CancelRequested() override { return progress_.CancelRequested(); }

    // The strip's text once the run has ended.
    std::string Strip() {
        FlushForm();
        return strip_;
    }
    const std::vector<std::string>& Failures() const { return failures_; }

    static std::string FailureLine(const TFormResult& result) {
        // An entry that named no form has only its label, which its error already holds.
        return result.Found ? result.Label + ": " + result.Error : result.Error;
    }

private:
    void FlushForm() {
        for (const std::string& line : formLines_) {
            strip_ += (strip_.empty() ? "" : "\n") + line;
        }
        formLines_.clear();
    }

    IProgress& progress_;
    IMessageBox& messageBox_;
    std::vector<std::string> formLines_;
    std::vector<std::string> failures_;
    std::string strip_;
};

std::string FailureList(const std::vector<std::string>& failures) {
    std::string text;
    for (std::size_t i = 0; i < failures.size() && i < kFailuresShown; ++i) {
        text += "\n" + failures[i];
    }
    if (failures.size() > kFailuresShown) {
        text += "\n(and " + std::to_string(failures.size() - kFailuresShown) + " more)";
    }
    return text;
}

} // namespace

void TForm1::ReadExportSettings(const TIniFile& settings) {
    auto read = [&settings](const char* key) { return settings.ReadString(kExportSection, key, ""); };
    std::vector<std::string> captions;
    for (const TFormatChoice& choice : formatChoices_) {
        captions.push_back(choice.Caption);
    }
    Controls.FormatBox->SetItems(captions);
    Controls.FormatBox->SetItemIndex(IndexOfKey(formatChoices_, read("format"), [](const TFormatChoice& c) {
                                         return FormatName(c.Format);
                                     }).value_or(0));
    captions.clear();
    for (const TCharactersChoice& choice : charactersChoices_) {
        captions.push_back(choice.Caption);
    }
    Controls.CharactersBox->SetItems(captions);
    Controls.CharactersBox->SetItemIndex(
        IndexOfKey(charactersChoices_, read("characters"), [](const TCharactersChoice& c) {
            return c.Key;
        }).value_or(0));

    if (const auto index = IndexOfKey(kDateKeys, read("dates"), [](const char* k) { return k; })) {
        Controls.DateRadioGroup->SetItemIndex(*index);
    }
    if (const auto index =
            IndexOfKey(kNumericNullKeys, read("numeric null"), [](const char* k) { return k; })) {
        Controls.NumericNullRadioGroup->SetItemIndex(*index);
    }
    if (const auto flag = FlagOf(read("text qualifier"))) {
        Controls.FieldNameCheckBox->SetChecked(*flag);
    }
    if (const auto flag = FlagOf(read("live"))) {
        Controls.LiveCheckBox->SetChecked(*flag);
    }
    if (const auto flag = FlagOf(read("deleted"))) {
        Controls.DeletedCheckBox->SetChecked(*flag);
    }
    // Written between double quotes, so that a blank delimiter survives the reader's trimming.
    std::string delimiter = read("delimiter");
    if (delimiter.size() >= 2 && delimiter.front() == '"' && delimiter.back() == '"') {
        delimiter = delimiter.substr(1, delimiter.size() - 2);
    }
    if (delimiter.size() == 1 && delimiter != "\"") {
        Controls.DelimiterEdit->SetText(delimiter);
    }
    // An empty file type is a choice of its own (files without an extension); only a missing key keeps "csv".
    const std::string fileType = settings.ReadString(kExportSection, "file type", "\n");
    if (fileType != "\n" && fileType.size() <= 3) {
        Controls.Edit1->SetText(fileType);
    }
}

void TForm1::WriteExportSettings(TIniFile& settings) const {
    auto write = [&settings](const char* key, const std::string& value) {
        settings.WriteString(kExportSection, key, value);
    };
    const int format = Controls.FormatBox->ItemIndex();
    if (format >= 0 && static_cast<std::size_t>(format) < formatChoices_.size()) {
        write("format", std::string(FormatName(formatChoices_[static_cast<std::size_t>(format)].Format)));
    }
    const int characters = Controls.CharactersBox->ItemIndex();
    if (characters >= 0 && static_cast<std::size_t>(characters) < charactersChoices_.size()) {
        write("characters", charactersChoices_[static_cast<std::size_t>(characters)].Key);
    }
    const int dates = Controls.DateRadioGroup->ItemIndex();
    if (dates >= 0 && dates < 3) {
        write("dates", kDateKeys[dates]);
    }
    const int numericNull = Controls.NumericNullRadioGroup->ItemIndex();
    if (numericNull >= 0 && numericNull < 2) {
        write("numeric null", kNumericNullKeys[numericNull]);
    }
    write("text qualifier", Controls.FieldNameCheckBox->IsChecked() ? "1" : "0");
    write("delimiter", "\"" + Controls.DelimiterEdit->GetText() + "\"");
    write("file type", Controls.Edit1->GetText());
    write("live", Controls.LiveCheckBox->IsChecked() ? "1" : "0");
    write("deleted", Controls.DeletedCheckBox->IsChecked() ? "1" : "0");
}

std::optional<TExportOptions> TForm1::OptionsOfControls(bool askForFile) {
    TExportOptions options;
    const int format = Controls.FormatBox->ItemIndex();
    const TFormatChoice formatChoice = format >= 0 && static_cast<std::size_t>(format) < formatChoices_.size()
                                           ? formatChoices_[static_cast<std::size_t>(format)]
                                           : TFormatChoice{};
    options.Format = formatChoice.Format;
    options.Destination = WithTrailingSeparator(Controls.DirectoryEdit->GetText());
    options.Extension = Controls.Edit1->GetText();
    const int dateIndex = Controls.DateRadioGroup->ItemIndex();
    constexpr TDateOrder kOrders[] = {TDateOrder::British, TDateOrder::American, TDateOrder::Metric};
    options.OutputDateOrder = dateIndex >= 0 && dateIndex < 3 ? kOrders[dateIndex] : TDateOrder::British;
    options.Delimiter = FirstCharOr(Controls.DelimiterEdit->GetText(), ',');
    options.HeadingQualifier = Controls.FieldNameCheckBox->IsChecked() ? "\"" : "";
    options.NumericNull = Controls.NumericNullRadioGroup->ItemIndex();

    const int characters = Controls.CharactersBox->ItemIndex();
    if (characters >= 0 && static_cast<std::size_t>(characters) < charactersChoices_.size()) {
        const TCharactersChoice& choice = charactersChoices_[static_cast<std::size_t>(characters)];
        if (choice.Kind == TCharactersChoice::TKind::VersionDefault) {
            options.Encoding = DefaultCodePage(ActiveDatabase->GetVersion());
        } else if (choice.Kind == TCharactersChoice::TKind::CodePage) {
            options.Encoding = choice.CodePage;
        }
        // As stored: the delimited export writes the bytes unchanged; the typed formats, whose text is UTF-8
        // by their nature, convert from the version's code page.
    }

    if (IsOneFileFormat(options.Format) && askForFile) {
        const std::optional<std::string> file = Controls.SaveFileDialog->Run(
            options.Destination,
            SuggestedFileStem(ActiveDatabase->GetDisplayName()) + "." + formatChoice.FileExtension,
            formatChoice.FileExtension);
        if (!file) {
            return std::nullopt;
        }
        options.Destination = *file;
    }
    return options;
}

void TForm1::Button3Click() {
    if (!ActiveDatabase) {
        return; // the window has closed
    }
    Controls.Label1->SetText("");
    const std::optional<std::string> selection =
        RecordSelection(Controls.LiveCheckBox->IsChecked(), Controls.DeletedCheckBox->IsChecked());
    if (!selection) {
        messageBox_.ShowMessage(kTickRecordsMessage);
        return;
    }
    const char letter = selection->empty() ? kSelectLive : (*selection)[1];

    TDEInfoRec& database = *ActiveDatabase;
    ICheckList& list = *Controls.ListBox1;
    TExportPlan plan;
    // Two forms of one name have two lines of one text: the n-th such line is the n-th such form.
    std::map<std::string, int> occurrences;
    const TFormsByLine forms = ListedFormsByLine(database);
    for (int i = 0; i < list.Count(); ++i) {
        const std::string line = list.LineText(i);
        const int occurrence = occurrences[line]++;
        if (list.IsTicked(i)) {
            plan.push_back(PlanItemOfLine(forms, line, letter, occurrence));
        }
    }

    // Nothing ticked asks for no file: there is nothing to write into it.
    const std::optional<TExportOptions> options = OptionsOfControls(!plan.empty());
    if (!options) {
        return; // the user cancelled choosing the file
    }
    if (plan.empty()) {
        messageBox_.ShowMessage(kExportsComplete);
        return;
    }

    TRunSetup setup;
    setup.Stop = TStopRule::AtFirstError;
    setup.Formats = &formats_;
    TWindowObserver observer(progress_, messageBox_);
    progress_.Start(static_cast<int>(plan.size()));
    TRunResult run;
    try {
        run = RunExport(database, plan, *options, observer, setup);
    } catch (...) {
        progress_.Finish();
        Controls.Label1->SetText(observer.Strip());
        throw;
    }
    // The progress indication is gone before any message of the run's end is shown.
    progress_.Finish();
    Controls.Label1->SetText(observer.Strip());

    std::size_t written = 0;
    for (const TFormResult& result : run.Forms) {
        written += result.Written && result.Error.empty() ? 1 : 0;
    }
    const std::string exported =
        std::to_string(written) + " of " + std::to_string(plan.size()) + " forms exported.";
    const std::string failed =
        std::to_string(observer.Failures().size()) + " of " + std::to_string(plan.size()) + " forms failed:";
    if (run.Summary.Stopped) {
        // An error reading the database ends the run; it goes to the program's error reporting, naming the
        // form it happened in.
        const TFormResult& last = run.Forms.back();
        std::string className = "unknown exception";
        try {
            std::rethrow_exception(last.ErrorObject);
        } catch (const std::exception& error) {
            className = ExceptionClassName(error);
        } catch (...) {
        }
        messageBox_.ShowError(
            TWindowObserver::FailureLine(last) + "\nThe export stopped at this form: " + exported, className);
        return;
    }
    if (run.Summary.Cancelled) {
        std::string text = "Export cancelled: " + exported;
        if (!observer.Failures().empty()) {
            text += "\n" + failed + FailureList(observer.Failures());
        }
        messageBox_.ShowMessage(text);
        return;
    }
    if (!observer.Failures().empty()) {
        messageBox_.ShowMessage("Exports finished, but " + failed + FailureList(observer.Failures()));
        return;
    }
    messageBox_.ShowMessage(kExportsComplete);
}

void TForm1::Button4Click() {
    const std::optional<std::string> folder = Controls.SelectFolderDialog->Run();
    if (!folder) {
        return;
    }
    Controls.DirectoryEdit->SetText(*folder);
    Controls.SelectFolderDialog->SetTopFolder(*folder);
}

void TForm1::FormClose() {
    ActiveDatabase.reset();
    TIniFile settings(process_.SettingsFileName());
    settings.WriteString(kSettingsSection, "destination", Controls.DirectoryEdit->GetText());
    settings.WriteString(kSettingsSection, "source", SourceDirectory);
    WriteExportSettings(settings);
    settings.UpdateFile();
}

} // namespace corvane::ui
