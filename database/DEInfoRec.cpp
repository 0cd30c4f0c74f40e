#include "database/DEInfoRec.h"

#include "database/Errors.h"
#include "text/TextUtils.h"

#include <iterator>

namespace corvane {

TFormRec::~TFormRec() {
    // Unlink the rest of the chain one form at a time instead of letting each destructor release the next.
    std::unique_ptr<TFormRec> next = std::move(Next);
    while (next) {
        next = std::move(next->Next);
    }
}

std::string TFormRec::GetDirectory() const {
    return Database != nullptr ? Database->GetDirectory() : std::string();
}

std::uint8_t TFormRec::GetVersion() const {
    return Database != nullptr ? Database->GetVersion() : kVersionNotLoaded;
}

TDEInfoRec::~TDEInfoRec() {
    ClearForms();
}

void TDEInfoRec::ClearForms() {
    formIndex_.clear();
    Forms.reset();
}

void TDEInfoRec::Load() {
    ClearForms();
    directoryIndexes_.clear();
    CenturyCutoff = 0;
    ReadDictionary();
    if (Version == kVersionDfW || Version == kVersionDfW7) {
        ReadApplicationObjects();
    }
}

TFormRec* TDEInfoRec::FindForm(std::string_view name) const {
    const std::string key = UpperCaseAscii(name);
    const auto found = formIndex_.lower_bound(key);
    return found != formIndex_.end() && found->first == key ? found->second : nullptr;
}

void TDEInfoRec::AddForm(std::unique_ptr<TFormRec> form) {
    if (!form) {
        return;
    }
    // The chain and the index hold the same order, so the form goes directly after the last indexed form
    // whose key is not greater than its own: after every form of an equal key.
    std::string key = UpperCaseAscii(form->Name);
    const auto after = formIndex_.upper_bound(key);
    TFormRec* added = form.get();
    if (after == formIndex_.begin()) {
        form->Next = std::move(Forms);
        Forms = std::move(form);
    } else {
        TFormRec* before = std::prev(after)->second;
        form->Next = std::move(before->Next);
        before->Next = std::move(form);
    }
    formIndex_.emplace_hint(after, std::move(key), added);
}

std::string TDEInfoRec::ResolvePath(const std::string& directory, const std::string& fileName) const {
    auto found = directoryIndexes_.find(directory);
    if (found == directoryIndexes_.end()) {
        found = directoryIndexes_.emplace(directory, TDirectoryIndex(directory)).first;
    }
    return found->second.Resolve(fileName);
}

std::size_t TDEInfoRec::DirectoryListings() const {
    std::size_t listings = 0;
    for (const auto& [directory, index] : directoryIndexes_) {
        listings += index.Listings();
    }
    return listings;
}

bool IsPlainFileName(std::string_view name) {
    return name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

namespace {

// Control characters as \xHH, so that a message stays one readable line.
std::string Printable(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out += ch;
        }
    }
    return out;
}

} // namespace

void RequirePlainFileName(const TFormRec& form, std::string_view what, std::string_view fileName) {
    if (!IsPlainFileName(fileName)) {
        throw EDELibError("form " + Printable(form.Name) + ": " + std::string(what) + " name " +
                          Printable(fileName) + " leaves the database directory");
    }
}

std::string TDEInfoRec::GetDisplayName() const {
    const std::size_t nul = DatabaseName.find('\0');
    if (nul == std::string::npos || nul == 0) {
        return DatabaseName;
    }
    return DatabaseName.substr(0, nul);
}

void TDEInfoRec::SetDEPath(const std::string& path) {
    DEPath = WithTrailingSeparator(path);
}

} // namespace corvane
