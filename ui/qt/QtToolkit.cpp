#include "ui/qt/QtToolkit.h"

#include "ui/logic/DatabaseSelection.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringDecoder>
#include <QUrl>

#include <algorithm>
#include <limits>

namespace corvane::ui {

namespace {
constexpr int kBytesRole = Qt::UserRole + 1;

// A check list line that sorts by the stored bytes, as the window logic expects.
class TCheckListItem : public QListWidgetItem {
public:
    explicit TCheckListItem(const std::string& text) : QListWidgetItem(FromBytes(text)) {
        setData(kBytesRole, QByteArray::fromStdString(text));
    }
    bool operator<(const QListWidgetItem& other) const override {
        return CheckListLess(data(kBytesRole).toByteArray().toStdString(),
                             other.data(kBytesRole).toByteArray().toStdString());
    }
};
} // namespace

QString FromBytes(const std::string& s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

std::string ToBytes(const QString& s) {
    return s.toLatin1().toStdString();
}

QString FromPath(const std::string& s) {
    return QFile::decodeName(QByteArray::fromStdString(s));
}

std::string ToPath(const QString& s) {
    return QFile::encodeName(s).toStdString();
}

QString FromDisplay(const std::string& s) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(QByteArrayView(s.data(), static_cast<qsizetype>(s.size())));
    return decoder.hasError() ? FromBytes(s) : text;
}

std::string ToDisplay(const QString& s) {
    return s.toUtf8().toStdString();
}

std::string TQtWindow::GetTitle() const {
    return ToDisplay(widget_->windowTitle());
}

void TQtWindow::SetTitle(const std::string& title) {
    widget_->setWindowTitle(FromDisplay(title));
}

void TQtWindow::Close() {
    widget_->close();
}

std::string TQtEdit::GetText() const {
    return encoding_ == Encoding::Path ? ToPath(edit_->text()) : ToBytes(edit_->text());
}

void TQtEdit::SetText(const std::string& text) {
    edit_->setText(encoding_ == Encoding::Path ? FromPath(text) : FromBytes(text));
}

void TQtLabel::SetText(const std::string& text) {
    const QString full = FromBytes(text);
    const QStringList lines = full.split(QLatin1Char('\n'));
    if (lines.size() <= 2) {
        label_->setText(full);
        label_->setToolTip(QString());
        return;
    }
    label_->setText(lines[0] + QLatin1Char('\n') + lines[1] +
                    QStringLiteral(" (and %1 more)").arg(lines.size() - 2));
    label_->setToolTip(full);
}

void TQtCheckList::Clear() {
    list_->clear();
}

void TQtCheckList::AddLine(const std::string& text) {
    auto* item = new TCheckListItem(text);
    item->setFlags((item->flags() | Qt::ItemIsUserCheckable) & ~Qt::ItemIsUserTristate);
    item->setCheckState(Qt::Unchecked);
    list_->addItem(item);
    if (sorted_) {
        list_->sortItems(Qt::AscendingOrder);
    }
}

void TQtCheckList::SetSorted(bool sorted) {
    sorted_ = sorted;
    if (sorted_) {
        list_->sortItems(Qt::AscendingOrder);
    }
}

std::string TQtCheckList::LineText(int index) const {
    const QListWidgetItem* item = list_->item(index);
    return item ? item->data(kBytesRole).toByteArray().toStdString() : std::string();
}

bool TQtCheckList::IsTicked(int index) const {
    const QListWidgetItem* item = list_->item(index);
    return item && item->checkState() == Qt::Checked;
}

void TQtCheckList::SetTicked(int index, bool ticked) {
    if (QListWidgetItem* item = list_->item(index)) {
        item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
    }
}

void TQtListBox::AddLine(const std::string& text) {
    list_->addItem(FromBytes(text));
}

int TQtListBox::SelectedIndex() const {
    const QList<QListWidgetItem*> selected = list_->selectedItems();
    return selected.isEmpty() ? -1 : list_->row(selected.front());
}

std::optional<std::string> TQtFolderBrowser::Run() {
    QString top = FromPath(top_);
    if (top.isEmpty() || !QDir(top).exists()) {
        top = QDir::homePath();
    }
    top = QDir::cleanPath(QDir(top).absolutePath());
    QFileDialog dialog(parent_, caption_, top);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setSidebarUrls({QUrl::fromLocalFile(top)});
    const std::string topPath = ToPath(top);
    QObject::connect(&dialog, &QFileDialog::directoryEntered, &dialog,
                     [&dialog, top, topPath](const QString& dir) {
                         if (!IsWithinFolder(ToPath(QDir::cleanPath(dir)), topPath)) {
                             dialog.setDirectory(top);
                         }
                     });
    while (dialog.exec() == QDialog::Accepted) {
        const QStringList chosen = dialog.selectedFiles();
        if (chosen.isEmpty()) {
            return std::nullopt;
        }
        const std::string path = ToPath(QDir::cleanPath(chosen.front()));
        if (IsWithinFolder(path, topPath)) {
            return path;
        }
        QMessageBox::information(parent_, QStringLiteral("Corvane"),
                                 QStringLiteral("Choose %1 or a folder below it.").arg(top));
        dialog.setDirectory(top);
    }
    return std::nullopt;
}

void TQtMessageBox::Exec(QMessageBox& box) {
    if (progress_ != nullptr && progress_->Running()) {
        progress_->StandAsideDuring([&box] { box.exec(); });
    } else {
        box.exec();
    }
}

void TQtMessageBox::ShowMessage(const std::string& text) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("Corvane"), FromDisplay(text), QMessageBox::Ok,
                    parent_);
    Exec(box);
}

void TQtMessageBox::ShowError(const std::string& message, const std::string& className) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), FromDisplay(message), QMessageBox::Ok,
                    parent_);
    box.setInformativeText(QStringLiteral("Exception class: %1").arg(FromDisplay(className)));
    Exec(box);
}

TQtProgress::~TQtProgress() {
    delete dialog_;
}

void TQtProgress::Start(int formCount) {
    delete dialog_;
    running_ = true;
    cancelled_ = false;
    standingAside_ = false;
    formCount_ = formCount;
    formIndex_ = 0;
    formName_.clear();
    done_ = total_ = 0;
    content_->setEnabled(false);
    sinceStart_.start();
    sinceUpdate_.start();
}

void TQtProgress::FormStarted(int index, int formCount, const std::string& name) {
    formIndex_ = index;
    formCount_ = formCount;
    formName_ = FromBytes(name).trimmed();
    done_ = total_ = 0;
    Update(true);
}

void TQtProgress::Records(std::int64_t done, std::int64_t total) {
    done_ = done;
    total_ = total;
    Update(false);
}

bool TQtProgress::CancelRequested() {
    // Events were last processed when the previous form started or reported its records.
    return running_ && cancelled_;
}

void TQtProgress::RequestCancel() {
    if (running_) {
        cancelled_ = true;
    }
}

void TQtProgress::Finish() {
    running_ = false;
    // Destroyed now, not later: a dialog left to a later event loop (the message box's) would show itself
    // there, frozen over the message.
    delete dialog_;
    content_->setEnabled(true);
}

void TQtProgress::StandAsideDuring(const std::function<void()>& modal) {
    const bool shown = dialog_ && dialog_->isVisible();
    if (shown) {
        dialog_->hide();
    }
    standingAside_ = true;
    modal();
    standingAside_ = false;
    if (shown && dialog_ && running_ && !cancelled_) {
        dialog_->show();
    }
}

void TQtProgress::Update(bool force) {
    if (!running_ || (!force && sinceUpdate_.elapsed() < 50)) {
        return;
    }
    sinceUpdate_.restart();
    if (!dialog_ && !cancelled_ && !standingAside_ && sinceStart_.elapsed() >= showAfterMs_) {
        dialog_ = new QProgressDialog(QStringLiteral("Exporting..."), QStringLiteral("Cancel"), 0,
                                      std::max(1, formCount_) * 1000, parent_);
        dialog_->setObjectName(QStringLiteral("ExportProgress"));
        dialog_->setWindowTitle(QStringLiteral("Export Data"));
        dialog_->setWindowModality(Qt::WindowModal);
        dialog_->setAutoReset(false);
        dialog_->setAutoClose(false);
        // The dialog never shows itself from a timer of its own; this class shows it.
        dialog_->setMinimumDuration(std::numeric_limits<int>::max());
        QObject::connect(dialog_, &QProgressDialog::canceled, dialog_, [this] { RequestCancel(); });
        dialog_->show();
    }
    if (dialog_ && !cancelled_) {
        const int within =
            total_ > 0 ? static_cast<int>(std::min<std::int64_t>(1000, done_ * 1000 / total_)) : 0;
        dialog_->setLabelText(QStringLiteral("Form %1 of %2: %3\nRecord %4 of %5")
                                  .arg(formIndex_ + 1)
                                  .arg(formCount_)
                                  .arg(formName_)
                                  .arg(done_)
                                  .arg(total_));
        dialog_->setValue(formIndex_ * 1000 + within);
    }
    QCoreApplication::processEvents();
}

void TQtRadioGroup::SetItemIndex(int index) {
    if (QAbstractButton* button = group_->button(index)) {
        button->setChecked(true);
    }
}

void TQtChoiceBox::SetItems(const std::vector<std::string>& items) {
    box_->clear();
    for (const std::string& item : items) {
        box_->addItem(FromDisplay(item));
    }
}

void TQtChoiceBox::SetItemIndex(int index) {
    if (index >= 0 && index < box_->count()) {
        box_->setCurrentIndex(index);
    }
}

std::optional<std::string> TQtSaveFileDialog::Run(const std::string& directory,
                                                  const std::string& suggestedName,
                                                  const std::string& extension) {
    QString start = FromPath(directory);
    if (start.isEmpty() || !QDir(start).exists()) {
        start = QDir::homePath();
    }
    QFileDialog dialog(parent_, caption_, start);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    const QString suffix = FromPath(extension);
    dialog.setDefaultSuffix(suffix);
    dialog.setNameFilters({QStringLiteral("*.%1").arg(suffix), QStringLiteral("*")});
    dialog.selectFile(FromPath(suggestedName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return ToPath(QDir::cleanPath(dialog.selectedFiles().front()));
}

} // namespace corvane::ui
