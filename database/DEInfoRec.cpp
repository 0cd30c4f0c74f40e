#include "database/DEInfoRec.h"

#include "text/TextUtils.h"

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
    Forms.reset();
}

void TDEInfoRec::Load() {
    ClearForms();
    CenturyCutoff = 0;
    ReadDictionary();
    if (Version == kVersionDfW || Version == kVersionDfW7) {
        ReadApplicationObjects();
    }
}

TFormRec* TDEInfoRec::FindForm(std::string_view name) const {
    for (TFormRec* form = Forms.get(); form != nullptr; form = form->Next.get()) {
        if (SameNameKey(form->Name, name)) {
            return form;
        }
    }
    return nullptr;
}

void TDEInfoRec::AddForm(std::unique_ptr<TFormRec> form) {
    if (!form) {
        return;
    }
    if (!Forms || CompareNameKeys(form->Name, Forms->Name) < 0) {
        form->Next = std::move(Forms);
        Forms = std::move(form);
        return;
    }
    // Walk to the last form whose key is not greater than the new one; equal keys keep the order of addition.
    TFormRec* before = Forms.get();
    while (before->Next && CompareNameKeys(before->Next->Name, form->Name) <= 0) {
        before = before->Next.get();
    }
    form->Next = std::move(before->Next);
    before->Next = std::move(form);
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
